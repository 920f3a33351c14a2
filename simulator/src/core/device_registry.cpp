#include "device_registry.h"

#include <atomic>
#include <cerrno>
#include <map>
#include <mutex>

#include "machine.h"

namespace sim::core {
namespace {

// Filled at static-initialisation time, possibly before anything else of the
// simulator exists: hence function-local statics.
struct Registries {
    std::vector<OpenHandler> open;
    std::vector<CommandHandler> commands;
    std::vector<ProgramHandler> programs;
    std::vector<ModuleHandler> modules;
    std::vector<std::function<void()>> clock;
    UmountHandler umount;
    std::vector<std::function<void()>> reset;
    std::map<int, std::shared_ptr<FdDevice>> devices;
};

Registries& Registry() {
    static Registries* registries = new Registries;  // outlives every static destructor
    return *registries;
}

std::atomic<size_t> g_deviceCount{0};

using Lock = std::lock_guard<std::recursive_mutex>;

}  // namespace

void AddOpenHandler(OpenHandler handler) {
    Lock lock(MachineMutex());
    Registry().open.push_back(std::move(handler));
}

void AddCommandHandler(CommandHandler handler) {
    Lock lock(MachineMutex());
    Registry().commands.push_back(std::move(handler));
}

void AddProgramHandler(ProgramHandler handler) {
    Lock lock(MachineMutex());
    Registry().programs.push_back(std::move(handler));
}

void AddModuleHandler(ModuleHandler handler) {
    Lock lock(MachineMutex());
    Registry().modules.push_back(std::move(handler));
}

void AddClockHandler(std::function<void()> handler) {
    Lock lock(MachineMutex());
    Registry().clock.push_back(std::move(handler));
}

void SetUmountHandler(UmountHandler handler) {
    Lock lock(MachineMutex());
    Registry().umount = std::move(handler);
}

void AddResetHandler(const std::function<void()>& handler) {
    Lock lock(MachineMutex());
    Registry().reset.push_back(handler);
    // A machine started before this registration ran still gets the handler's state.
    if (MachineRunning())
        handler();
}

void AttachDevice(int fd, std::shared_ptr<FdDevice> device) {
    Lock lock(MachineMutex());
    Registry().devices[fd] = std::move(device);
    g_deviceCount = Registry().devices.size();
}

std::shared_ptr<FdDevice> DeviceOf(int fd) {
    if (!AnyDevices())
        return nullptr;
    Lock lock(MachineMutex());
    const auto it = Registry().devices.find(fd);
    return it == Registry().devices.end() ? nullptr : it->second;
}

std::optional<int> OpenThroughHandlers(const std::string& machinePath,
                                       const std::string& sandboxPath, int flags) {
    const MachineTransaction transaction;
    for (const OpenHandler& handler : Registry().open) {
        if (std::optional<int> fd = handler(machinePath, sandboxPath, flags))
            return fd;
    }
    return std::nullopt;
}

std::optional<CommandResult> RunCommandHandlers(const std::string& line) {
    for (const CommandHandler& handler : Registry().commands) {
        if (std::optional<CommandResult> result = handler(line))
            return result;
    }
    return std::nullopt;
}

std::optional<CommandResult> RunProgramHandlers(const std::vector<std::string>& argv) {
    for (const ProgramHandler& handler : Registry().programs) {
        if (std::optional<CommandResult> result = handler(argv))
            return result;
    }
    return std::nullopt;
}

int RunUmountHandler(const std::string& machinePath) {
    const MachineTransaction transaction;
    return Registry().umount ? Registry().umount(machinePath) : EINVAL;
}

void RunResetHandlers() {
    for (const auto& handler : Registry().reset)
        handler();
}

void RunModuleHandlers(const std::string& name) {
    for (const auto& handler : Registry().modules)
        handler(name);
}

void RunClockHandlers() {
    for (const auto& handler : Registry().clock)
        handler();
}

bool AnyDevices() {
    return g_deviceCount.load(std::memory_order_relaxed) != 0;
}

std::shared_ptr<FdDevice> DetachDevice(int fd) {
    if (!AnyDevices())
        return nullptr;
    Lock lock(MachineMutex());
    auto& devices = Registry().devices;
    const auto it = devices.find(fd);
    if (it == devices.end())
        return nullptr;
    std::shared_ptr<FdDevice> device = it->second;
    devices.erase(it);
    g_deviceCount = devices.size();
    return device;
}

void ClearDevices() {
    Lock lock(MachineMutex());
    Registry().devices.clear();
    g_deviceCount = 0;
}

std::vector<std::pair<int, std::shared_ptr<FdDevice>>> DevicesIn(int count, const fd_set* set) {
    std::vector<std::pair<int, std::shared_ptr<FdDevice>>> found;
    if (set == nullptr || !AnyDevices())
        return found;
    Lock lock(MachineMutex());
    for (const auto& [fd, device] : Registry().devices) {
        if (fd >= count || fd >= FD_SETSIZE)
            break;
        if (FD_ISSET(fd, set))
            found.emplace_back(fd, device);
    }
    return found;
}

}  // namespace sim::core
