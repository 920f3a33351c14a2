#include "real_libc.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>

#include "sim_core.h"

namespace sim::core {
namespace {

RealLibc g_real;  // zero until resolved
std::atomic<bool> g_resolved{false};
thread_local bool t_resolving = false;

template <typename Function>
void Resolve(Function*& slot, const char* name) {
    slot = reinterpret_cast<Function*>(dlsym(RTLD_NEXT, name));
}

void ResolveAll() {
    // The descriptor functions first: they are the ones a re-entrant call
    // during resolution would need.
    Resolve(g_real.open, "open");
    Resolve(g_real.close, "close");
    Resolve(g_real.ioctl, "ioctl");
    Resolve(g_real.openat, "openat");
    Resolve(g_real.fopen, "fopen");
    Resolve(g_real.fopen64, "fopen64");
    Resolve(g_real.freopen, "freopen");
    Resolve(g_real.stat, "stat");
    Resolve(g_real.stat64, "stat64");
    Resolve(g_real.lstat, "lstat");
    Resolve(g_real.lstat64, "lstat64");
    Resolve(g_real.fstatat, "fstatat");
    Resolve(g_real.fstatat64, "fstatat64");
    Resolve(g_real.statx, "statx");
    Resolve(g_real.access, "access");
    Resolve(g_real.faccessat, "faccessat");
    Resolve(g_real.euidaccess, "euidaccess");
    Resolve(g_real.opendir, "opendir");
    Resolve(g_real.scandir, "scandir");
    Resolve(g_real.scandir64, "scandir64");
    Resolve(g_real.mkdir, "mkdir");
    Resolve(g_real.rmdir, "rmdir");
    Resolve(g_real.unlink, "unlink");
    Resolve(g_real.unlinkat, "unlinkat");
    Resolve(g_real.remove, "remove");
    Resolve(g_real.rename, "rename");
    Resolve(g_real.symlink, "symlink");
    Resolve(g_real.readlink, "readlink");
    Resolve(g_real.chmod, "chmod");
    Resolve(g_real.truncate, "truncate");
    Resolve(g_real.utimensat, "utimensat");
    Resolve(g_real.realpath, "realpath");
    Resolve(g_real.select, "select");
    Resolve(g_real.uname, "uname");
    Resolve(g_real.posix_spawn, "posix_spawn");
    Resolve(g_real.posix_spawnp, "posix_spawnp");
    Resolve(g_real.waitpid, "waitpid");
    Resolve(g_real.write, "write");
    Resolve(g_real.pwrite, "pwrite");
    Resolve(g_real.pwrite64, "pwrite64");
    Resolve(g_real.writev, "writev");
    Resolve(g_real.fwrite, "fwrite");
    Resolve(g_real.vfprintf, "vfprintf");
    Resolve(g_real.fputs, "fputs");
    Resolve(g_real.fclose, "fclose");
    Resolve(g_real.sendfile, "sendfile");
    Resolve(g_real.sendfile64, "sendfile64");
    Resolve(g_real.copy_file_range, "copy_file_range");
    Resolve(g_real.fsync, "fsync");
    Resolve(g_real.fdatasync, "fdatasync");
    Resolve(g_real.sync, "sync");
    Resolve(g_real.syncfs, "syncfs");
    Resolve(g_real.dlopen, "dlopen");
    Resolve(g_real.dlclose, "dlclose");
}

}  // namespace

const RealLibc& Real() {
    if (g_resolved.load(std::memory_order_acquire) || t_resolving)
        return g_real;
    static std::mutex resolution;
    std::lock_guard<std::mutex> lock(resolution);
    if (!g_resolved.load(std::memory_order_relaxed)) {
        t_resolving = true;
        ResolveAll();
        t_resolving = false;
        g_resolved.store(true, std::memory_order_release);
    }
    return g_real;
}

int RealOpen(const char* path, int flags, int mode) {
    if (Real().open == nullptr) {
        return static_cast<int>(syscall(SYS_openat, AT_FDCWD, path, flags, mode));
    }
    return Real().open(path, flags, mode);
}

ssize_t RealWrite(int fd, const void* data, size_t size) {
    if (Real().write == nullptr)
        return syscall(SYS_write, fd, data, size);
    return Real().write(fd, data, size);
}

int RealClose(int fd) {
    if (Real().close == nullptr)
        return static_cast<int>(syscall(SYS_close, fd));
    return Real().close(fd);
}

int RealIoctl(int fd, unsigned long request, void* arg) {
    if (Real().ioctl == nullptr)
        return static_cast<int>(syscall(SYS_ioctl, fd, request, arg));
    return Real().ioctl(fd, request, arg);
}

}  // namespace sim::core
