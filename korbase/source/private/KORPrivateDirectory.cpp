// KORSystem::MakePrivateDirectory: a directory of our own in a directory
// where anyone may create entries first.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "KORFileType.h"
#include "KORHandles.h"
#include "KORSystem.h"

namespace KORSystem {

namespace {

// The library's own mount point holds one level of directories; anything
// deeper is someone else's, and a descriptor held per level stays few.
constexpr int kMaxLevels = 16;
constexpr mode_t kPrivateMode = 0700;

bool IsPrivateDirectory(const struct stat& status) {
    return S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() &&
           (status.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

std::string Describe(const struct stat& status) {
    if (!S_ISDIR(status.st_mode)) {
        return KORFileTypeName(status.st_mode);
    }
    char text[96];
    if (status.st_uid != ::geteuid()) {
        std::snprintf(text, sizeof text, "a directory of user %u",
                      static_cast<unsigned>(status.st_uid));
    } else {
        std::snprintf(text, sizeof text, "a directory others may write (mode %04o)",
                      static_cast<unsigned>(status.st_mode & 07777));
    }
    return text;
}

std::string DescribePath(const std::string& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        return std::string("nothing usable (") + std::strerror(errno) + ")";
    }
    return Describe(status);
}

std::vector<std::string> EntryNames(int directory) {
    std::vector<std::string> names;
    // fdopendir takes over the descriptor it is given.
    const KORHandles::Directory stream(::fdopendir(::dup(directory)));
    if (!stream) {
        return names;
    }
    while (const dirent* entry = ::readdir(stream.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    return names;
}

// Removes everything in the open directory, relative to it so that no link
// is ever followed, staying on `device`. True when all of it went.
bool EmptyDirectory(int directory, dev_t device, int levelsLeft) {
    bool emptied = true;
    // Read first, then removed: a directory changed while it is read may
    // list an entry twice or not at all.
    for (const std::string& name : EntryNames(directory)) {
        struct stat status {};
        if (::fstatat(directory, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
            emptied = false;
            continue;
        }
        if (!S_ISDIR(status.st_mode)) {
            emptied = ::unlinkat(directory, name.c_str(), 0) == 0 && emptied;
            continue;
        }
        const KORHandles::Descriptor child(
            ::openat(directory, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat opened {};
        const bool descend = child && levelsLeft > 0 && ::fstat(child.get(), &opened) == 0 &&
                             opened.st_dev == device;
        emptied = descend && EmptyDirectory(child.get(), device, levelsLeft - 1) &&
                  ::unlinkat(directory, name.c_str(), AT_REMOVEDIR) == 0 && emptied;
    }
    return emptied;
}

dev_t DeviceOfParent(const std::string& path) {
    const std::string::size_type slash = path.rfind('/');
    const std::string parent = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    struct stat status {};
    return ::stat(parent.c_str(), &status) == 0 ? status.st_dev : 0;
}

// Removes the entry without following it: a directory only with what it
// holds, and never the contents of another file system mounted there.
void RemoveEntry(const std::string& path, const struct stat& found) {
    if (!S_ISDIR(found.st_mode)) {
        ::unlink(path.c_str());
        return;
    }
    const KORHandles::Descriptor directory(
        ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat opened {};
    if (!directory || ::fstat(directory.get(), &opened) != 0 || opened.st_ino != found.st_ino ||
        opened.st_dev != DeviceOfParent(path)) {
        return;
    }
    if (EmptyDirectory(directory.get(), opened.st_dev, kMaxLevels)) {
        ::rmdir(path.c_str());
    }
}

}  // namespace

PrivateDirectory MakePrivateDirectory(const std::string& path) {
    PrivateDirectory result;
    struct stat status {};
    if (::lstat(path.c_str(), &status) == 0) {
        if (IsPrivateDirectory(status)) {
            result.ready = true;
            return result;
        }
        result.replaced = Describe(status);
        RemoveEntry(path, status);
    }
    ::mkdir(path.c_str(), kPrivateMode);
    result.ready = ::lstat(path.c_str(), &status) == 0 && IsPrivateDirectory(status);
    if (!result.ready) {
        result.remaining = DescribePath(path);
    }
    return result;
}

}  // namespace KORSystem
