// open, creat and fopen in all their forms. A simulated path is offered to
// the devices half first, then opened at its sandbox location.

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>

#include "device_registry.h"
#include "file_events.h"
#include "machine.h"
#include "real_libc.h"
#include "written_files.h"

namespace sim::core {
namespace {

bool NeedsMode(int flags) {
    return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
}

bool OpenWrites(int flags) {
    return (flags & O_ACCMODE) != O_RDONLY || (flags & (O_CREAT | O_TRUNC)) != 0;
}

unsigned OpenAccess(int flags) {
    return OpenWrites(flags) ? kProbes | kWrites : static_cast<unsigned>(kProbes);
}

// A descriptor number the kernel hands out again was closed in between, also
// by a path that bypasses close() (fclose of a stream on a device): a device
// still attached to it is stale.
void ForgetStaleDevice(int fd) {
    if (fd < 0 || !AnyDevices())
        return;
    if (const std::shared_ptr<FdDevice> device = DetachDevice(fd))
        device->Closed();
}

int RealOpenAt(int dirfd, const char* path, int flags, mode_t mode) {
    const int fd = Real().openat == nullptr
                       ? static_cast<int>(syscall(SYS_openat, dirfd, path, flags, mode))
                       : Real().openat(dirfd, path, flags, mode);
    const int error = errno;
    ForgetStaleDevice(fd);
    if (fd >= 0)
        ForgetWrittenFile(fd);
    errno = error;
    return fd;
}

FILE* RealOpenStream(FILE* (*realFopen)(const char*, const char*), const char* path,
                     const char* mode) {
    FILE* stream = realFopen(path, mode);
    const int error = errno;
    if (stream != nullptr) {
        ForgetStaleDevice(fileno(stream));
        ForgetWrittenFile(fileno(stream));
        ForgetWrittenStream(stream);
    }
    errno = error;
    return stream;
}

// The open(2) flags that fopen gives a mode string.
int StreamFlags(const char* mode) {
    int flags = O_RDONLY;
    if (mode[0] == 'w')
        flags = O_WRONLY | O_CREAT | O_TRUNC;
    if (mode[0] == 'a')
        flags = O_WRONLY | O_CREAT | O_APPEND;
    for (const char* c = mode + 1; *c != '\0' && *c != ','; ++c) {
        if (*c == '+')
            flags = (flags & ~O_ACCMODE) | O_RDWR;
        if (*c == 'x')
            flags |= O_EXCL;
        if (*c == 'e')
            flags |= O_CLOEXEC;
    }
    return flags;
}

// The run-time directories are root's: a machine not run as root may not
// create or write a file there (the update lock, the HAL daemon's marker).
bool RefusedToNonRoot(const std::string& machinePath, int flags) {
    if (!OpenWrites(flags))
        return false;
    for (const char* directory : {"/run/", "/var/run/"}) {
        if (machinePath.rfind(directory, 0) == 0)
            return !RunningMachine().settings.root;
    }
    return false;
}

}  // namespace

// The mode argument is there only for the flags that create a file.
mode_t ModeArgument(int flags, va_list arguments) {
    return NeedsMode(flags) ? va_arg(arguments, mode_t) : 0;
}

int OpenPath(int dirfd, const char* path, int flags, mode_t mode) {
    const std::optional<std::string> machinePath = SimulatedPath(path);
    if (!machinePath)
        return RealOpenAt(dirfd, path, flags, mode);
    std::lock_guard<std::recursive_mutex> lock(MachineMutex());
    const std::string sandboxPath = SandboxPathOf(*machinePath);
    if (RefusedToNonRoot(*machinePath, flags)) {
        RecordFileEvent("open", *machinePath, false, OpenAccess(flags), EACCES);
        errno = EACCES;
        return -1;
    }
    const std::optional<int> claimed = OpenThroughHandlers(*machinePath, sandboxPath, flags);
    const int fd = claimed ? *claimed : RealOpenAt(AT_FDCWD, sandboxPath.c_str(), flags, mode);
    const int error = errno;
    if (!claimed && fd >= 0 && OpenWrites(flags))
        TrackWrittenFile(fd, *machinePath);
    RecordFileEvent("open", *machinePath, fd >= 0, OpenAccess(flags), error);
    errno = error;
    return fd;
}

FILE* OpenStream(const char* path, const char* mode, FILE* (*realFopen)(const char*, const char*)) {
    const std::optional<std::string> machinePath = SimulatedPath(path);
    if (!machinePath)
        return RealOpenStream(realFopen, path, mode);
    std::lock_guard<std::recursive_mutex> lock(MachineMutex());
    const std::string sandboxPath = SandboxPathOf(*machinePath);
    const int flags = StreamFlags(mode);
    FILE* stream = nullptr;
    if (const std::optional<int> claimed = OpenThroughHandlers(*machinePath, sandboxPath, flags)) {
        if (*claimed >= 0) {
            stream = fdopen(*claimed, mode);
            if (stream == nullptr) {
                const int error = errno;
                DetachDevice(*claimed);
                RealClose(*claimed);
                errno = error;
            }
        }
    } else {
        stream = RealOpenStream(realFopen, sandboxPath.c_str(), mode);
        if (stream != nullptr && OpenWrites(flags)) {
            TrackWrittenFile(fileno(stream), *machinePath);
            TrackWrittenStream(stream, *machinePath);
        }
    }
    const int error = errno;
    RecordFileEvent("fopen", *machinePath, stream != nullptr, OpenAccess(flags), error,
                    {TraceText("mode", mode)});
    errno = error;
    return stream;
}

}  // namespace sim::core

extern "C" {

int open(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = sim::core::ModeArgument(flags, arguments);
    va_end(arguments);
    return sim::core::OpenPath(AT_FDCWD, path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = sim::core::ModeArgument(flags, arguments);
    va_end(arguments);
    return sim::core::OpenPath(AT_FDCWD, path, flags | O_LARGEFILE, mode);
}

int openat(int dirfd, const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = sim::core::ModeArgument(flags, arguments);
    va_end(arguments);
    return sim::core::OpenPath(dirfd, path, flags, mode);
}

int openat64(int dirfd, const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = sim::core::ModeArgument(flags, arguments);
    va_end(arguments);
    return sim::core::OpenPath(dirfd, path, flags | O_LARGEFILE, mode);
}

// The checked forms that programs built with _FORTIFY_SOURCE call.
int __open_2(const char* path, int flags) {
    return sim::core::OpenPath(AT_FDCWD, path, flags, 0);
}

int __open64_2(const char* path, int flags) {
    return sim::core::OpenPath(AT_FDCWD, path, flags | O_LARGEFILE, 0);
}

int __openat_2(int dirfd, const char* path, int flags) {
    return sim::core::OpenPath(dirfd, path, flags, 0);
}

int __openat64_2(int dirfd, const char* path, int flags) {
    return sim::core::OpenPath(dirfd, path, flags | O_LARGEFILE, 0);
}

int creat(const char* path, mode_t mode) {
    return sim::core::OpenPath(AT_FDCWD, path, O_WRONLY | O_CREAT | O_TRUNC, mode);
}

FILE* fopen(const char* path, const char* mode) {
    return sim::core::OpenStream(path, mode, sim::core::Real().fopen);
}

FILE* fopen64(const char* path, const char* mode) {
    return sim::core::OpenStream(path, mode, sim::core::Real().fopen64);
}

FILE* freopen(const char* path, const char* mode, FILE* stream) {
    const unsigned access = mode != nullptr ? sim::core::OpenAccess(sim::core::StreamFlags(mode))
                                            : static_cast<unsigned>(sim::core::kProbes);
    return sim::core::PathCall(
        "freopen", access,
        [stream](const char* where, const char* how) {
            return sim::core::Real().freopen(where, how, stream);
        },
        path, mode);
}

}  // extern "C"
