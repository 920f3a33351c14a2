// Every other C library call that takes a path: stat and access in their
// forms, directory listings, and the calls that change the file system.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "file_events.h"
#include "real_libc.h"

namespace sim::core {
namespace {

// A link target or a resolved path read back from the sandbox names the
// machine path, as it would on the real machine.
std::string AsMachinePath(const std::string& sandboxText) {
    const std::optional<std::string> machinePath = MachinePathOf(sandboxText);
    return machinePath ? *machinePath : sandboxText;
}

}  // namespace

// For calls with two paths: each is mapped on its own.
template <typename Call>
int TwoPathCall(const char* op, const char* first, const char* second, Call call) {
    const std::optional<std::string> firstPath = SimulatedPath(first);
    const std::optional<std::string> secondPath = SimulatedPath(second);
    if (!firstPath && !secondPath)
        return call(first, second);
    std::lock_guard<std::recursive_mutex> lock(MachineMutex());
    const std::string realFirst = firstPath ? SandboxPathOf(*firstPath) : first;
    const std::string realSecond = secondPath ? SandboxPathOf(*secondPath) : second;
    const int result = call(realFirst.c_str(), realSecond.c_str());
    const int error = errno;
    RecordFileEvent(op, firstPath ? *firstPath : first, result == 0, kWrites, error,
                    {TraceText("to", secondPath ? *secondPath : second)});
    errno = error;
    return result;
}

}  // namespace sim::core

using sim::core::kProbes;
using sim::core::kReads;
using sim::core::kWrites;
using sim::core::PathAtCall;
using sim::core::PathCall;
using sim::core::Real;

extern "C" {

int stat(const char* path, struct stat* info) noexcept {
    return PathCall("stat", kProbes, Real().stat, path, info);
}

int stat64(const char* path, struct stat64* info) noexcept {
    return PathCall("stat", kProbes, Real().stat64, path, info);
}

int lstat(const char* path, struct stat* info) noexcept {
    return PathCall("lstat", kProbes, Real().lstat, path, info);
}

int lstat64(const char* path, struct stat64* info) noexcept {
    return PathCall("lstat", kProbes, Real().lstat64, path, info);
}

int fstatat(int dirfd, const char* path, struct stat* info, int flags) noexcept {
    return PathAtCall("stat", kProbes, Real().fstatat, dirfd, path, info, flags);
}

int fstatat64(int dirfd, const char* path, struct stat64* info, int flags) noexcept {
    return PathAtCall("stat", kProbes, Real().fstatat64, dirfd, path, info, flags);
}

int statx(int dirfd, const char* path, int flags, unsigned int mask, struct statx* info) noexcept {
    return PathAtCall("stat", kProbes, Real().statx, dirfd, path, flags, mask, info);
}

// The stat entry points of programs built against older C libraries.
int __xstat(int, const char* path, struct stat* info) noexcept {
    return stat(path, info);
}

int __xstat64(int, const char* path, struct stat64* info) noexcept {
    return stat64(path, info);
}

int __lxstat(int, const char* path, struct stat* info) noexcept {
    return lstat(path, info);
}

int __lxstat64(int, const char* path, struct stat64* info) noexcept {
    return lstat64(path, info);
}

int __fxstatat(int, int dirfd, const char* path, struct stat* info, int flags) noexcept {
    return fstatat(dirfd, path, info, flags);
}

int __fxstatat64(int, int dirfd, const char* path, struct stat64* info, int flags) noexcept {
    return fstatat64(dirfd, path, info, flags);
}

int access(const char* path, int mode) noexcept {
    return PathCall("access", kProbes, Real().access, path, mode);
}

int faccessat(int dirfd, const char* path, int mode, int flags) noexcept {
    return PathAtCall("access", kProbes, Real().faccessat, dirfd, path, mode, flags);
}

int euidaccess(const char* path, int mode) noexcept {
    return PathCall("access", kProbes, Real().euidaccess, path, mode);
}

DIR* opendir(const char* path) {
    return PathCall("opendir", kReads, Real().opendir, path);
}

int scandir(const char* path, struct dirent*** entries, int (*filter)(const struct dirent*),
            int (*compare)(const struct dirent**, const struct dirent**)) {
    return PathCall("scandir", kReads, Real().scandir, path, entries, filter, compare);
}

int scandir64(const char* path, struct dirent64*** entries, int (*filter)(const struct dirent64*),
              int (*compare)(const struct dirent64**, const struct dirent64**)) {
    return PathCall("scandir", kReads, Real().scandir64, path, entries, filter, compare);
}

int mkdir(const char* path, mode_t mode) noexcept {
    return PathCall("mkdir", kWrites, Real().mkdir, path, mode);
}

int rmdir(const char* path) noexcept {
    return PathCall("rmdir", kWrites, Real().rmdir, path);
}

int unlink(const char* path) noexcept {
    return PathCall("unlink", kWrites, Real().unlink, path);
}

int unlinkat(int dirfd, const char* path, int flags) noexcept {
    return PathAtCall("unlink", kWrites, Real().unlinkat, dirfd, path, flags);
}

int remove(const char* path) noexcept {
    return PathCall("remove", kWrites, Real().remove, path);
}

int chmod(const char* path, mode_t mode) noexcept {
    return PathCall("chmod", kWrites, Real().chmod, path, mode);
}

int truncate(const char* path, off_t length) noexcept {
    return PathCall("truncate", kWrites, Real().truncate, path, length);
}

int utimensat(int dirfd, const char* path, const struct timespec times[2], int flags) noexcept {
    return PathAtCall("utimensat", kWrites, Real().utimensat, dirfd, path, times, flags);
}

int rename(const char* from, const char* to) noexcept {
    return sim::core::TwoPathCall("rename", from, to, Real().rename);
}

// A link to a simulated path points at its sandbox location, so that
// following it lands on the simulated file.
int symlink(const char* target, const char* link) noexcept {
    return sim::core::TwoPathCall("symlink", link, target, [](const char* where, const char* what) {
        return Real().symlink(what, where);
    });
}

ssize_t readlink(const char* path, char* buffer, size_t size) noexcept {
    const std::optional<std::string> machinePath = sim::core::SimulatedPath(path);
    if (!machinePath)
        return Real().readlink(path, buffer, size);
    return sim::core::OnSandbox(*machinePath, "readlink", kReads, [&](const char* where) {
        char target[PATH_MAX];
        const ssize_t length = Real().readlink(where, target, sizeof target);
        if (length < 0)
            return length;
        const std::string text =
            sim::core::AsMachinePath(std::string(target, static_cast<size_t>(length)));
        const size_t count = std::min(text.size(), size);
        std::copy_n(text.data(), count, buffer);  // readlink adds no terminating null
        return static_cast<ssize_t>(count);
    });
}

char* realpath(const char* path, char* resolved) noexcept {
    const std::optional<std::string> machinePath = sim::core::SimulatedPath(path);
    if (!machinePath)
        return Real().realpath(path, resolved);
    return sim::core::OnSandbox(*machinePath, "realpath", kReads, [&](const char* where) -> char* {
        char* full = Real().realpath(where, nullptr);
        if (full == nullptr)
            return nullptr;
        const std::string text = sim::core::AsMachinePath(full);
        std::free(full);
        if (text.size() >= PATH_MAX) {
            errno = ENAMETOOLONG;
            return nullptr;
        }
        if (resolved == nullptr)
            return strdup(text.c_str());
        std::memcpy(resolved, text.c_str(), text.size() + 1);
        return resolved;
    });
}

}  // extern "C"
