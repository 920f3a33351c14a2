#pragma once
// Running a file operation on the sandbox location of a machine path and
// recording it in the trace.

#include <fcntl.h>

#include <cerrno>
#include <mutex>
#include <string>
#include <vector>

#include "machine.h"
#include "sandbox.h"
#include "sim_core.h"

namespace sim::core {

enum FileAccess : unsigned { kReads = 0, kWrites = 1, kProbes = 2 };

// Succeeded operations and writes are recorded, except failed probes (open,
// stat, access) under /dev/: the disk search tries 18278 names every time.
void RecordFileEvent(const char* op, const std::string& machinePath, bool succeeded,
                     unsigned access, int error, const std::vector<TraceField>& extra = {});

inline bool Succeeded(int result) {
    return result >= 0;
}
inline bool Succeeded(long result) {
    return result >= 0;
}
inline bool Succeeded(const void* result) {
    return result != nullptr;
}

template <typename Call>
auto OnSandbox(const std::string& machinePath, const char* op, unsigned access, Call call) {
    std::lock_guard<std::recursive_mutex> lock(MachineMutex());
    const std::string sandboxPath = SandboxPathOf(machinePath);
    auto result = call(sandboxPath.c_str());
    const int error = errno;
    RecordFileEvent(op, machinePath, Succeeded(result), access, error);
    errno = error;
    return result;
}

// `real(path, args...)`, on the sandbox location when the path is simulated.
template <typename Real, typename... Args>
auto PathCall(const char* op, unsigned access, Real real, const char* path, Args... args) {
    if (const std::optional<std::string> machinePath = SimulatedPath(path)) {
        return OnSandbox(*machinePath, op, access,
                         [&](const char* sandboxPath) { return real(sandboxPath, args...); });
    }
    return real(path, args...);
}

// `real(dirfd, path, args...)`; a simulated path is absolute, so dirfd does not matter for it.
template <typename Real, typename... Args>
auto PathAtCall(const char* op, unsigned access, Real real, int dirfd, const char* path,
                Args... args) {
    if (const std::optional<std::string> machinePath = SimulatedPath(path)) {
        return OnSandbox(*machinePath, op, access, [&](const char* sandboxPath) {
            return real(AT_FDCWD, sandboxPath, args...);
        });
    }
    return real(dirfd, path, args...);
}

}  // namespace sim::core
