// Sleeps and select timeouts advance the virtual clock and return at once.
// A select over simulated devices asks them whether they are readable.

#include <sys/select.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <mutex>

#include "device_registry.h"
#include "machine.h"
#include "real_libc.h"
#include "virtual_clock.h"

namespace sim::core {
namespace {

constexpr uint64_t kNsPerSecond = 1000000000;

bool Valid(const timespec* length) {
    return length != nullptr && length->tv_sec >= 0 && length->tv_nsec >= 0 &&
           length->tv_nsec < static_cast<long>(kNsPerSecond);
}

uint64_t Nanoseconds(const timespec& length) {
    return static_cast<uint64_t>(length.tv_sec) * kNsPerSecond +
           static_cast<uint64_t>(length.tv_nsec);
}

void ClearSets(int count, fd_set* readSet, fd_set* writeSet, fd_set* errorSet) {
    for (fd_set* set : {readSet, writeSet, errorSet}) {
        if (set == nullptr)
            continue;
        for (int fd = 0; fd < count && fd < FD_SETSIZE; ++fd)
            FD_CLR(fd, set);
    }
}

}  // namespace

int SimulatedSelect(int count, fd_set* readSet, fd_set* writeSet, fd_set* errorSet,
                    timeval* timeout) {
    std::unique_lock<std::recursive_mutex> lock(MachineMutex());
    const auto devices = DevicesIn(count, readSet);
    if (devices.empty()) {
        lock.unlock();
        return Real().select(count, readSet, writeSet, errorSet, timeout);
    }
    std::vector<int> ready;
    for (const auto& [fd, device] : devices) {
        if (device->ReadReady())
            ready.push_back(fd);
    }
    ClearSets(count, readSet, writeSet, errorSet);
    if (!ready.empty()) {
        for (const int fd : ready)
            FD_SET(fd, readSet);
        return static_cast<int>(ready.size());
    }
    if (timeout == nullptr) {
        // Nothing will ever become ready: waiting would hang the run.
        SleepNs(0, "select", {TraceText("timeout", "none")});
        return 0;
    }
    if (timeout->tv_sec < 0 || timeout->tv_usec < 0) {
        errno = EINVAL;
        return -1;
    }
    SleepNs(static_cast<uint64_t>(timeout->tv_sec) * kNsPerSecond +
                static_cast<uint64_t>(timeout->tv_usec) * 1000,
            "select");
    // Linux reports the time left, none after a timeout.
    timeout->tv_sec = 0;
    timeout->tv_usec = 0;
    return 0;
}

}  // namespace sim::core

extern "C" {

unsigned int sleep(unsigned int seconds) {
    sim::core::SleepNs(seconds * sim::core::kNsPerSecond, "sleep");
    return 0;
}

int usleep(useconds_t microseconds) {
    sim::core::SleepNs(static_cast<uint64_t>(microseconds) * 1000, "usleep");
    return 0;
}

int nanosleep(const struct timespec* length, struct timespec* left) {
    if (!sim::core::Valid(length)) {
        errno = EINVAL;
        return -1;
    }
    sim::core::SleepNs(sim::core::Nanoseconds(*length), "nanosleep");
    if (left != nullptr)
        *left = timespec{0, 0};
    return 0;
}

int clock_nanosleep(clockid_t clock, int flags, const struct timespec* length,
                    struct timespec* left) {
    if (!sim::core::Valid(length))
        return EINVAL;
    uint64_t ns = sim::core::Nanoseconds(*length);
    if ((flags & TIMER_ABSTIME) != 0) {
        // An absolute end is measured against the real clock, which the
        // virtual sleeps do not move.
        timespec now;
        if (clock_gettime(clock, &now) != 0)
            return errno;
        const uint64_t nowNs = sim::core::Nanoseconds(now);
        ns = ns > nowNs ? ns - nowNs : 0;
    }
    sim::core::SleepNs(ns, "clock_nanosleep");
    if (left != nullptr && (flags & TIMER_ABSTIME) == 0)
        *left = timespec{0, 0};
    return 0;
}

int select(int count, fd_set* readSet, fd_set* writeSet, fd_set* errorSet,
           struct timeval* timeout) {
    return sim::core::SimulatedSelect(count, readSet, writeSet, errorSet, timeout);
}

}  // extern "C"
