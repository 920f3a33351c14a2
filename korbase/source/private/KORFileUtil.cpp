#include "KORFileUtil.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>

#include "DirectoryEntry.h"
#include "KORHandles.h"
#include "KORLogger.h"
#include "KORSystem.h"

namespace {

const int kUniqueNameAttempts = 16;

// A generator per thread, seeded apart, so that two calls never draw alike and
// no caller's use of rand() is disturbed.
std::mt19937& NameGenerator() {
    thread_local std::mt19937 generator([] {
        std::seed_seq::result_type entropy;
        try {
            entropy = std::random_device()();
        } catch (const std::exception&) {
            entropy = 0;
        }
        std::seed_seq seed{entropy, static_cast<unsigned>(time(nullptr)),
                           static_cast<unsigned>(getpid()),
                           static_cast<unsigned>(reinterpret_cast<uintptr_t>(&entropy))};
        return std::mt19937(seed);
    }());
    return generator;
}

// A name shaped like a version-4 GUID.
std::string DrawUniqueName() {
    std::uniform_int_distribution<int> draw(0, RAND_MAX);
    std::mt19937& generator = NameGenerator();
    int r[6];
    for (int& value : r) {
        value = draw(generator);
    }
    char name[64];
    snprintf(name, sizeof(name), "%x-%x-%x-%x-%x%x", r[5], (r[4] & 0xfff) | 0x4000,
             (r[3] & 0xfff) | 0x4000, r[2] % 0x3fff + 0x8000, r[1], (r[0] & 0xfff) | 0x4000);
    return name;
}

bool IsDotEntry(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool CopyTree(const std::string& from, const std::string& to, const struct stat& skip,
              bool overwrite);

// Copies one entry of a directory being copied; false when it could not be.
bool CopyEntry(const std::string& source, const std::string& target, const struct stat& skip,
               bool overwrite) {
    struct stat status;
    if (lstat(source.c_str(), &status) != 0) {
        return false;
    }
    if (S_ISDIR(status.st_mode)) {
        if (SameFile(status, skip) ||
            (mkdir(target.c_str(), status.st_mode & 07777) != 0 && errno != EEXIST)) {
            return false;
        }
        return CopyTree(source, target, skip, overwrite);
    }
    if (S_ISLNK(status.st_mode)) {
        char link[PATH_MAX];
        const ssize_t length = readlink(source.c_str(), link, sizeof(link));
        if (length < 0 || static_cast<size_t>(length) >= sizeof(link)) {
            return false;
        }
        if (overwrite) {
            unlink(target.c_str());
        }
        return symlink(std::string(link, length).c_str(), target.c_str()) == 0;
    }
    if (S_ISREG(status.st_mode)) {
        return KORFileUtil::MakeCopyOfFile(KORFile(KORString(source)), KORFile(KORString(target)),
                                           !overwrite);
    }
    // Devices, sockets and pipes are not file contents.
    return false;
}

// Copies the entries of one directory into another, which exists. The
// directory `skip` (the top target) is never entered, so that copying a tree
// into a directory inside it ends.
bool CopyTree(const std::string& from, const std::string& to, const struct stat& skip,
              bool overwrite) {
    const KORHandles::Directory directory(opendir(from.c_str()));
    if (!directory) {
        return false;
    }
    bool copied = true;
    while (struct dirent* entry = readdir(directory.get())) {
        if (!IsDotEntry(entry->d_name)) {
            copied =
                CopyEntry(from + "/" + entry->d_name, to + "/" + entry->d_name, skip, overwrite) &&
                copied;
        }
    }
    return copied;
}

}  // namespace

KORString KORFileUtil::GetSeparator() {
    return KORString("/");
}

KORFile KORFileUtil::GetSystemTempDirectory() {
    return KORFile(KORString("/tmp"));
}

KORString KORFileUtil::GetCurrentExecutablePath(bool withName) {
    char buffer[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer));
    // The link text has no NUL; a text that fills the buffer may be cut.
    if (length <= 0 || static_cast<size_t>(length) >= sizeof(buffer)) {
        KOR_LOG(KOR_LOG_ERROR, "Cannot read the path of the executable");
        return KORString();
    }
    std::string path(buffer, static_cast<size_t>(length));
    if (withName) {
        return KORString(path);
    }
    size_t slash = path.rfind('/');
    return KORString(slash == std::string::npos ? std::string(".") : path.substr(0, slash));
}

bool KORFileUtil::IsDirectory(const KORString& path) {
    std::string text = path.GetUTF8String();
    if (!text.empty() && text.back() == '\\') {
        text.pop_back();
    }
    struct stat status;
    return !text.empty() && stat(text.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool KORFileUtil::GetEntryNameBytes(const std::string& directory, std::vector<std::string>& names) {
    const KORHandles::Directory stream(opendir(directory.c_str()));
    if (!stream) {
        return false;
    }
    while (struct dirent* entry = readdir(stream.get())) {
        if (!IsDotEntry(entry->d_name) &&
            !KORDirectoryEntry::IsDirectory(entry->d_type, directory + "/" + entry->d_name)) {
            names.emplace_back(entry->d_name);
        }
    }
    return true;
}

int KORFileUtil::GetFileNamesInDirectory(const KORString& directory, const KORString& prefix,
                                         const KORString& middle, const KORString& extension,
                                         std::vector<KORString>& names, bool fullPath) {
    if (directory.IsEmpty()) {
        return 1;
    }
    std::string directoryText = directory.GetUTF8String();
    std::vector<std::string> entries;
    if (!GetEntryNameBytes(directoryText, entries)) {
        return 1;
    }
    // Without an extension the pattern is matched against the name without
    // its extension, so that "log*" takes "log.txt" as well as "logs".
    bool matchBaseName = extension.IsEmpty() && (!prefix.IsEmpty() || !middle.IsEmpty());
    bool matchAll = extension.IsEmpty() && !matchBaseName;
    std::string pattern = (prefix + "*" + middle).GetUTF8String();
    if (!matchBaseName) {
        pattern += "." + extension.GetUTF8String();
    }
    for (const std::string& name : entries) {
        if (!matchAll) {
            std::string subject =
                matchBaseName ? KORFile(KORString(name)).GetBaseName().GetUTF8String() : name;
            if (fnmatch(pattern.c_str(), subject.c_str(), FNM_CASEFOLD) != 0) {
                continue;
            }
        }
        names.emplace_back(fullPath ? directoryText + "/" + name : name);
    }
    return 0;
}

std::vector<KORString> KORFileUtil::GetIllegalCharacters() {
    return {KORString("\\"), KORString("/"), KORString("*"), KORString("<"),
            KORString("\""), KORString(">"), KORString("|")};
}

std::vector<KORString> KORFileUtil::GetReservedNames() {
    return {};
}

KORFile KORFileUtil::CreateUniqueDirectory(const KORString& parent, const KORString& prefix) {
    if (!IsDirectory(parent)) {
        return KORFile();
    }
    std::string base = (parent + "/" + prefix).GetUTF8String();
    for (int attempt = 0; attempt < kUniqueNameAttempts; ++attempt) {
        std::string path = base + DrawUniqueName();
        if (mkdir(path.c_str(), 0775) == 0) {
            return KORFile(KORString(path));
        }
        if (errno != EEXIST) {
            break;
        }
    }
    KOR_LOG(KOR_LOG_ERROR, "Cannot create a unique directory in %s", base.c_str());
    return KORFile();
}

KORFile KORFileUtil::CreateUniqueTemporaryDirectory() {
    return CreateUniqueDirectory(GetSystemTempDirectory().GetPath(), KORString());
}

KORFile KORFileUtil::CreateUniqueFile(const KORString& directory, const KORString& prefix,
                                      const KORString& extension) {
    if (!IsDirectory(directory)) {
        return KORFile();
    }
    // mkstemps makes the final name in one step: a rename after mkstemp could
    // replace a file that already has that name.
    std::string suffix = "." + extension.GetUTF8String();
    std::string path = (directory + "/" + prefix).GetUTF8String() + "XXXXXX" + suffix;
    int descriptor = mkstemps(&path[0], static_cast<int>(suffix.size()));
    if (descriptor < 0) {
        KOR_LOG(KOR_LOG_ERROR, "Cannot create a unique file like %s", path.c_str());
        return KORFile();
    }
    close(descriptor);
    return KORFile(KORString(path));
}

KORFile KORFileUtil::CreateUniqueTemporaryFile(const KORString& prefix,
                                               const KORString& extension) {
    return CreateUniqueFile(GetSystemTempDirectory().GetPath(), prefix, extension);
}

bool KORFileUtil::MakeCopyOfFile(const KORFile& source, const KORFile& target,
                                 bool refuseExisting) {
    if (!source.HasPath() || !target.HasPath() || IsDirectory(source.GetPath()) ||
        IsDirectory(target.GetPath())) {
        return false;
    }
    std::string sourcePath = source.GetPath().GetUTF8String();
    std::string targetPath = target.GetPath().GetUTF8String();
    int input = open(sourcePath.c_str(), O_RDONLY);
    if (input < 0) {
        return false;
    }
    struct stat sourceStatus;
    struct stat targetStatus;
    // Emptying the target first would destroy a source that is the same file.
    if (fstat(input, &sourceStatus) != 0 ||
        (stat(targetPath.c_str(), &targetStatus) == 0 && SameFile(sourceStatus, targetStatus))) {
        close(input);
        return false;
    }
    int flags = O_WRONLY | O_CREAT | O_TRUNC | (refuseExisting ? O_EXCL : 0);
    int output = open(targetPath.c_str(), flags, 0644);
    if (output < 0) {
        close(input);
        return false;
    }
    // sendfile may copy less than asked, so it runs until every byte is over.
    off_t remaining = sourceStatus.st_size;
    bool copied = true;
    while (remaining > 0) {
        ssize_t sent = sendfile(output, input, nullptr, static_cast<size_t>(remaining));
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            copied = false;
            break;
        }
        remaining -= sent;
    }
    close(input);
    if (close(output) != 0) {
        copied = false;
    }
    if (!copied) {
        KOR_LOG(KOR_LOG_ERROR, "Copying %s to %s failed", sourcePath.c_str(), targetPath.c_str());
    }
    return copied;
}

bool KORFileUtil::MoveFile(const KORFile& source, const KORFile& target, bool refuseExisting) {
    if (!MakeCopyOfFile(source, target, refuseExisting)) {
        return false;
    }
    return source.Delete();
}

bool KORFileUtil::RenameFile(KORFile& file, const KORString& newName) {
    if (!file.Exists() || IsDirectory(file.GetPath()) || !KORFile(newName).IsValidName()) {
        return false;
    }
    KORString target = file.GetParentPath(false) + "/" + newName;
    return rename(file.GetPath().GetUTF8String().c_str(), target.GetUTF8String().c_str()) == 0;
}

bool KORFileUtil::DeleteDirectory(KORFile& directory, bool self) {
    if (!IsDirectory(directory.GetPath())) {
        return true;
    }
    std::string path = directory.GetPath().GetUTF8String();
    if (self) {
        return remove(path.c_str()) == 0;
    }
    const KORHandles::Directory stream(opendir(path.c_str()));
    if (stream) {
        while (struct dirent* entry = readdir(stream.get())) {
            if (!IsDotEntry(entry->d_name)) {
                remove((path + "/" + entry->d_name).c_str());
            }
        }
    }
    return false;
}

bool KORFileUtil::CopyDirectory(const KORFile& from, const KORFile& to, bool /*useShell*/,
                                bool overwrite) {
    // Always walks the tree: a shell command line would carry the file names.
    if (!IsDirectory(from.GetPath()) || !to.HasPath()) {
        return false;
    }
    KORFile target(to);
    if (!IsDirectory(target.GetPath()) && !target.MakeDirectory(true, nullptr)) {
        return false;
    }
    struct stat targetStatus;
    std::string targetPath = target.GetPath().GetUTF8String();
    if (stat(targetPath.c_str(), &targetStatus) != 0) {
        return false;
    }
    return CopyTree(from.GetPath().GetUTF8String(), targetPath, targetStatus, overwrite);
}

bool KORFileUtil::GetFile(const KORString& url, const KORFile& target) {
    if (url.IsEmpty() || !target.HasPath()) {
        return false;
    }
    std::string targetPath = target.GetPath().GetUTF8String();
    bool intoDirectory = IsDirectory(target.GetPath());
    if (!intoDirectory && target.Exists()) {
        target.Delete();
    }
    std::string urlText = url.GetUTF8String();
    // An argument vector, no shell; "--" keeps a URL from being read as an option.
    const KORSystem::CommandStatus status =
        KORSystem::RunProgram({"wget", intoDirectory ? "-P" : "-O", targetPath, "--", urlText},
                              KORSystem::ProgramOutput::Discarded);
    if (status.raw == -1) {
        KOR_LOG(KOR_LOG_ERROR, "Cannot run wget for %s", urlText.c_str());
    }
    return status.Succeeded();
}
