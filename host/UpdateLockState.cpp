#include "UpdateLockState.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "UpdateLock.h"

namespace {

std::string LockPath() {
    struct stat info {};
    const bool haveRun = stat(UpdateLock::kRunDirectory, &info) == 0 && S_ISDIR(info.st_mode);
    return haveRun ? UpdateLock::kPath : UpdateLock::kPathWithoutRun;
}

// The process id a /proc/locks line gives for the file, when one locks it:
// "1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF" (device numbers in
// hexadecimal); lines of waiters ("1: -> FLOCK ...") hold nothing.
std::optional<long long> LockerInLocksFile(const struct stat& file) {
    std::ifstream locks("/proc/locks");
    char wanted[64];
    std::snprintf(wanted, sizeof wanted, "%02x:%02x:%llu", major(file.st_dev), minor(file.st_dev),
                  static_cast<unsigned long long>(file.st_ino));
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string number, kind, advisory, access, process, where;
        fields >> number >> kind >> advisory >> access >> process >> where;
        if (kind != "->" && where == wanted) {
            return std::strtoll(process.c_str(), nullptr, 10);
        }
    }
    return std::nullopt;
}

// The holder writes its decimal process id and a line feed into the file.
std::optional<long long> WrittenProcessId(int fd) {
    char text[32] = {};
    const ssize_t length = read(fd, text, sizeof text - 1);
    char* end = nullptr;
    const long long id = length > 0 ? std::strtoll(text, &end, 10) : 0;
    if (id <= 0 || end == text || (*end != '\n' && *end != '\0')) {
        return std::nullopt;
    }
    return id;
}

}  // namespace

UpdateLockState ReadUpdateLock() {
    UpdateLockState state;
    state.path = LockPath();
    // Opening reads the file; it takes no lock. A link or a file that is not
    // a regular one is nobody's lock (the update refuses it too).
    const int fd = open(state.path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return state;
    }
    struct stat file {};
    if (fstat(fd, &file) == 0 && S_ISREG(file.st_mode)) {
        const std::optional<long long> locker = LockerInLocksFile(file);
        state.held = locker.has_value();
        if (state.held) {
            const std::optional<long long> written = WrittenProcessId(fd);
            // A holder in another process id namespace shows as 0 there.
            if (written) {
                state.holder = written;
            } else if (*locker > 0) {
                state.holder = locker;
            }
        }
    }
    close(fd);
    return state;
}
