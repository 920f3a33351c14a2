#include "KORFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "KORFileUtil.h"
#include "KORHandles.h"

namespace {

const KORChar kSlash = '/';
const KORChar kDot = '.';

// Where the last component of a path lies, trailing separators left out.
struct NameBounds {
    unsigned long start;
    unsigned long end;
};

NameBounds FindName(const KORUnitString& path) {
    unsigned long end = path.size();
    while (end > 0 && path[end - 1] == kSlash) {
        --end;
    }
    if (end == 0) {
        return {0, 0};
    }
    unsigned long slash = path.rfind(kSlash, end - 1);
    return {slash == KORUnitString::npos ? 0 : slash + 1, end};
}

bool MakeOneDirectory(const std::string& path) {
    return mkdir(path.c_str(), 0775) == 0;
}

}  // namespace

KORFile::KORFile() {}

KORFile::KORFile(const KORString& path) : m_path(path) {}

KORFile::KORFile(const KORFile& other) : m_path(other.m_path) {}

KORFile& KORFile::operator=(const KORFile& other) {
    m_path = other.m_path;
    return *this;
}

KORFile::~KORFile() {}

void KORFile::SetPath(const KORString& path) {
    m_path = path;
}

KORString KORFile::GetPath() const {
    return m_path;
}

bool KORFile::Exists() const {
    if (m_path.IsEmpty()) {
        return false;
    }
    struct stat status;
    return stat(m_path.GetUTF8String().c_str(), &status) == 0;
}

unsigned long long KORFile::GetSize() const {
    if (m_path.IsEmpty()) {
        return 0;
    }
    std::string path = m_path.GetUTF8String();
    if (KORFileUtil::IsDirectory(m_path)) {
        const KORHandles::Directory directory(opendir(path.c_str()));
        if (!directory) {
            return 0;
        }
        unsigned long long entries = 0;
        while (struct dirent* entry = readdir(directory.get())) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") {
                ++entries;
            }
        }
        return entries;
    }
    struct stat status;
    if (stat(path.c_str(), &status) != 0) {
        return 0;
    }
    return static_cast<unsigned long long>(status.st_size);
}

bool KORFile::IsEmpty() const {
    return !m_path.IsEmpty() && GetSize() == 0;
}

KORString KORFile::GetName() const {
    NameBounds name = FindName(m_path.Units());
    return KORString(m_path.Units().substr(name.start, name.end - name.start));
}

KORString KORFile::GetBaseName() const {
    KORUnitString name = GetName().Units();
    unsigned long dot = name.rfind(kDot);
    return KORString(dot == KORUnitString::npos ? name : name.substr(0, dot));
}

KORString KORFile::GetExtension() const {
    KORUnitString name = GetName().Units();
    unsigned long dot = name.rfind(kDot);
    return dot == KORUnitString::npos ? KORString() : KORString(name.substr(dot + 1));
}

KORString KORFile::GetParentPath(bool withSeparator) const {
    if (m_path.IsEmpty()) {
        return KORString();
    }
    unsigned long slash = m_path.Units().rfind(kSlash);
    if (slash == KORUnitString::npos) {
        // A bare name lies in the working directory.
        return KORString(withSeparator ? "./" : ".");
    }
    return KORString(m_path.Units().substr(0, withSeparator ? slash + 1 : slash));
}

bool KORFile::ParentExists() const {
    // With the separator, so that the parent of "/name" is "/" and not "".
    return !m_path.IsEmpty() && KORFile(GetParentPath(true)).Exists();
}

bool KORFile::IsValidName() const {
    KORString name = GetName();
    if (name.IsEmpty()) {
        return false;
    }
    for (const KORString& character : KORFileUtil::GetIllegalCharacters()) {
        if (name.ContainsAny(character, 0)) {
            return false;
        }
    }
    return true;
}

bool KORFile::Delete() const {
    if (m_path.IsEmpty()) {
        return false;
    }
    if (KORFileUtil::IsDirectory(m_path)) {
        // Empties the directory but keeps it, and says so by answering false.
        KORFile directory(*this);
        KORFileUtil::DeleteDirectory(directory, false);
        return false;
    }
    return remove(m_path.GetUTF8String().c_str()) == 0;
}

bool KORFile::Create(bool makeParents) {
    if (m_path.IsEmpty()) {
        return false;
    }
    if (makeParents) {
        if (!ParentExists()) {
            KORFile parent(GetParentPath(false));
            parent.MakeDirectory(true, nullptr);
        }
    } else if (!ParentExists() || Exists()) {
        return false;
    }
    return static_cast<bool>(KORHandles::File(fopen(m_path.GetUTF8String().c_str(), "w")));
}

bool KORFile::Touch() {
    if (!Exists() || KORFileUtil::IsDirectory(m_path)) {
        return false;
    }
    // Both times to now, never creating the file.
    return utimensat(AT_FDCWD, m_path.GetUTF8String().c_str(), nullptr, 0) == 0;
}

bool KORFile::MakeDirectory(bool makeParents, KORErrorCodeEnum* error) {
    KORErrorCodeEnum result = KOR_SUCCESS;
    std::string path = m_path.GetUTF8String();
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    if (!HasValidPath()) {
        result = KOR_ERROR_INVALID_PATH;
    } else if (Exists()) {
        result = KOR_ERROR_ALREADY_EXISTS;
    } else if (!ParentExists() && !makeParents) {
        result = KOR_ERROR_PARENT_MISSING;
    } else {
        // Each missing ancestor in turn; one that exists already is no failure.
        for (size_t slash = path.find('/', 1); makeParents && slash != std::string::npos;
             slash = path.find('/', slash + 1)) {
            if (!MakeOneDirectory(path.substr(0, slash)) && errno != EEXIST) {
                break;
            }
        }
        if (!MakeOneDirectory(path)) {
            result = KOR_ERROR_CREATE_FAILED;
        }
    }
    if (error != nullptr) {
        *error = result;
    }
    return result == KOR_SUCCESS;
}

bool KORFile::SetName(const KORString& name) {
    if (!name.IsPermissableFileName()) {
        return false;
    }
    NameBounds bounds = FindName(m_path.Units());
    m_path = KORString(m_path.Units().substr(0, bounds.start)) + name;
    return true;
}

bool KORFile::AppendName(const KORString& name) {
    if (!name.IsPermissableFileName()) {
        return false;
    }
    if (!m_path.IsEmpty() && m_path.Units().back() != kSlash) {
        m_path += KORString("/");
    }
    m_path += name;
    return true;
}

bool KORFile::RemoveName() {
    NameBounds bounds = FindName(m_path.Units());
    if (bounds.start == 0) {
        return false;
    }
    // Keep the separator only when it is the root.
    m_path = KORString(m_path.Units().substr(0, bounds.start == 1 ? 1 : bounds.start - 1));
    return true;
}

bool KORFile::SetExtension(const KORString& extension) {
    if (!extension.IsEmpty() && !extension.IsPermissableFileName()) {
        return false;
    }
    NameBounds bounds = FindName(m_path.Units());
    if (bounds.start == bounds.end) {
        return false;
    }
    KORUnitString name = m_path.Units().substr(bounds.start, bounds.end - bounds.start);
    unsigned long dot = name.rfind(kDot);
    if (dot != KORUnitString::npos) {
        name.erase(dot);
    }
    KORString renamed(m_path.Units().substr(0, bounds.start) + name);
    if (!extension.IsEmpty()) {
        renamed += KORString(".") + extension;
    }
    m_path = renamed;
    return true;
}

bool KORFile::HasPath() const {
    return !m_path.IsEmpty();
}

bool KORFile::HasValidPath() const {
    if (m_path.IsEmpty() || m_path.GetUTF8String().size() >= 4096) {
        return false;
    }
    for (const KORString& character : KORFileUtil::GetIllegalCharacters()) {
        if (character != "/" && m_path.ContainsAny(character, 0)) {
            return false;
        }
    }
    return m_path.Units().find(KORChar(0)) == KORUnitString::npos;
}

bool KORFile::operator==(const KORFile& other) const {
    return m_path == other.m_path;
}

bool KORFile::operator!=(const KORFile& other) const {
    return m_path != other.m_path;
}

bool KORFile::IsOpen() const {
    return false;
}

bool KORFile::CanOpen() const {
    return false;
}

bool KORFile::SetTime(unsigned long long) {
    return false;
}

unsigned long long KORFile::GetTime() const {
    return 0;
}

bool KORFile::ResolveAlias() {
    return false;
}

bool KORFile::ResolvePathAliases() {
    return false;
}

bool KORFile::SetBool(bool) {
    return false;
}

bool KORFile::GetBool() const {
    return false;
}
