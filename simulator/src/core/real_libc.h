#pragma once
// The C library functions the simulator stands in for, as the C library
// itself implements them. The simulator's own file and process work always
// goes through these, never through its own stand-ins.

#include <dirent.h>
#include <spawn.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <sys/utsname.h>

#include <cstdarg>
#include <cstdio>

namespace sim::core {

struct RealLibc {
    int (*open)(const char*, int, ...);
    int (*openat)(int, const char*, int, ...);
    int (*close)(int);
    int (*ioctl)(int, unsigned long, ...);
    FILE* (*fopen)(const char*, const char*);
    FILE* (*fopen64)(const char*, const char*);
    FILE* (*freopen)(const char*, const char*, FILE*);
    int (*stat)(const char*, struct stat*);
    int (*stat64)(const char*, struct stat64*);
    int (*lstat)(const char*, struct stat*);
    int (*lstat64)(const char*, struct stat64*);
    int (*fstatat)(int, const char*, struct stat*, int);
    int (*fstatat64)(int, const char*, struct stat64*, int);
    int (*statx)(int, const char*, int, unsigned int, struct statx*);
    int (*access)(const char*, int);
    int (*faccessat)(int, const char*, int, int);
    int (*euidaccess)(const char*, int);
    DIR* (*opendir)(const char*);
    int (*scandir)(const char*, struct dirent***, int (*)(const struct dirent*),
                   int (*)(const struct dirent**, const struct dirent**));
    int (*scandir64)(const char*, struct dirent64***, int (*)(const struct dirent64*),
                     int (*)(const struct dirent64**, const struct dirent64**));
    int (*mkdir)(const char*, mode_t);
    int (*rmdir)(const char*);
    int (*unlink)(const char*);
    int (*unlinkat)(int, const char*, int);
    int (*remove)(const char*);
    int (*rename)(const char*, const char*);
    int (*symlink)(const char*, const char*);
    ssize_t (*readlink)(const char*, char*, size_t);
    int (*chmod)(const char*, mode_t);
    int (*truncate)(const char*, off_t);
    int (*utimensat)(int, const char*, const struct timespec*, int);
    char* (*realpath)(const char*, char*);
    int (*select)(int, fd_set*, fd_set*, fd_set*, struct timeval*);
    int (*uname)(struct utsname*);
    int (*posix_spawn)(pid_t*, const char*, const posix_spawn_file_actions_t*,
                       const posix_spawnattr_t*, char* const*, char* const*);
    int (*posix_spawnp)(pid_t*, const char*, const posix_spawn_file_actions_t*,
                        const posix_spawnattr_t*, char* const*, char* const*);
    pid_t (*waitpid)(pid_t, int*, int);
    ssize_t (*write)(int, const void*, size_t);
    ssize_t (*pwrite)(int, const void*, size_t, off_t);
    ssize_t (*pwrite64)(int, const void*, size_t, off64_t);
    ssize_t (*writev)(int, const struct iovec*, int);
    size_t (*fwrite)(const void*, size_t, size_t, FILE*);
    int (*vfprintf)(FILE*, const char*, va_list);
    int (*fputs)(const char*, FILE*);
    int (*fclose)(FILE*);
    ssize_t (*sendfile)(int, int, off_t*, size_t);
    ssize_t (*sendfile64)(int, int, off64_t*, size_t);
    ssize_t (*copy_file_range)(int, off64_t*, int, off64_t*, size_t, unsigned int);
    int (*fsync)(int);
    int (*fdatasync)(int);
    void (*sync)();
    int (*syncfs)(int);
    void* (*dlopen)(const char*, int);
    int (*dlclose)(void*);
};

// Resolved once, on first use. A call that re-enters while the table is being
// resolved sees the entries resolved so far and null for the rest.
const RealLibc& Real();

}  // namespace sim::core
