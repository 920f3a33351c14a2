// Root rights, the kernel's name and umount(2), as the scenario says. None of
// them ever reaches the real system.

#include <sys/mount.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "device_registry.h"
#include "machine.h"
#include "real_libc.h"
#include "sandbox.h"

namespace sim::core {
namespace {

void CopyField(char* field, const std::string& value) {
    // Every utsname field has the same size.
    constexpr size_t kSize = sizeof(utsname::sysname);
    std::strncpy(field, value.c_str(), kSize - 1);
    field[kSize - 1] = '\0';
}

}  // namespace

int SimulatedUmount(const char* path) {
    std::lock_guard<std::recursive_mutex> lock(MachineMutex());
    const std::optional<std::string> machinePath = SimulatedPath(path);
    int error = EPERM;
    if (machinePath) {
        MachineSettings& settings = RunningMachine().settings;
        if (settings.umountFailures > 0) {
            --settings.umountFailures;
            error = EBUSY;
        } else {
            error = RunUmountHandler(*machinePath);
        }
    }
    // A successful umount is recorded by the devices half, which knows what it released.
    if (error != 0) {
        Trace("umount", {TraceText("dir", path != nullptr ? path : ""),
                         TraceText("error", strerrorname_np(error))});
    }
    errno = error;
    return error == 0 ? 0 : -1;
}

}  // namespace sim::core

extern "C" {

// Never changes the process's identity; only tells whether it could.
int setuid(uid_t) noexcept {
    std::lock_guard<std::recursive_mutex> lock(sim::core::MachineMutex());
    if (sim::core::RunningMachine().settings.root)
        return 0;
    errno = EPERM;
    return -1;
}

int uname(struct utsname* name) noexcept {
    const int result = sim::core::Real().uname(name);
    if (result != 0)
        return result;
    std::lock_guard<std::recursive_mutex> lock(sim::core::MachineMutex());
    const sim::core::MachineSettings& settings = sim::core::RunningMachine().settings;
    for (const auto& [field, value] : settings.uname) {
        if (field == "sysname")
            sim::core::CopyField(name->sysname, value);
        if (field == "nodename")
            sim::core::CopyField(name->nodename, value);
        if (field == "release")
            sim::core::CopyField(name->release, value);
        if (field == "version")
            sim::core::CopyField(name->version, value);
        if (field == "machine")
            sim::core::CopyField(name->machine, value);
    }
    return 0;
}

int umount(const char* path) noexcept {
    return sim::core::SimulatedUmount(path);
}

int umount2(const char* path, int) noexcept {
    return sim::core::SimulatedUmount(path);
}

}  // extern "C"
