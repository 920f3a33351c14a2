#include "real_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "real_libc.h"
#include "sim_core.h"

namespace sim::core::files {
namespace {

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = RealWrite(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

std::vector<std::string> EntriesOf(const std::string& directory) {
    std::vector<std::string> names;
    DIR* dir = Real().opendir(directory.c_str());
    if (dir == nullptr)
        return names;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    closedir(dir);
    return names;
}

}  // namespace

bool Exists(const std::string& path) {
    struct stat info;
    return Real().stat(path.c_str(), &info) == 0;
}

bool IsDirectory(const std::string& path) {
    struct stat info;
    return Real().stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool ReadFile(const std::string& path, std::string* content) {
    const int fd = RealOpen(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    content->clear();
    char buffer[65536];
    bool ok = true;
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            ok = false;
        if (got <= 0)
            break;
        content->append(buffer, static_cast<size_t>(got));
    }
    RealClose(fd);
    return ok;
}

bool WriteFile(const std::string& path, const std::string& content, unsigned mode) {
    const int fd =
        RealOpen(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, static_cast<int>(mode));
    if (fd < 0)
        return false;
    const bool ok = WriteAll(fd, content.data(), content.size());
    // An existing file keeps its old mode through O_CREAT; the caller's mode wins.
    Real().chmod(path.c_str(), mode);
    return RealClose(fd) == 0 && ok;
}

bool MakeDirectories(const std::string& path) {
    if (path.empty())
        return false;
    if (IsDirectory(path))
        return true;
    const std::string parent = ParentOf(path);
    if (parent != path && !parent.empty() && !MakeDirectories(parent))
        return false;
    if (Real().mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
        return false;
    return IsDirectory(path);
}

bool RemoveTree(const std::string& path) {
    struct stat info;
    if (Real().lstat(path.c_str(), &info) != 0)
        return errno == ENOENT;
    if (S_ISDIR(info.st_mode)) {
        for (const std::string& name : EntriesOf(path))
            RemoveTree(path + "/" + name);
        return Real().rmdir(path.c_str()) == 0;
    }
    return Real().unlink(path.c_str()) == 0;
}

bool CopyFile(const std::string& from, const std::string& to) {
    if (IsDirectory(from))
        return false;
    std::string content;
    return ReadFile(from, &content) && WriteFile(to, content);
}

std::string BaseName(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.pop_back();
    const size_t slash = trimmed.rfind('/');
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

std::string ParentOf(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.pop_back();
    const size_t slash = trimmed.rfind('/');
    if (slash == std::string::npos)
        return "";
    return slash == 0 ? "/" : trimmed.substr(0, slash);
}

}  // namespace sim::core::files
