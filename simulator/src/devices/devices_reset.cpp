// A fresh set of devices per run, in the order they depend on each other:
// disks, mounts, the controller, then what an earlier run left behind (its
// partitions still attached, its mounts still in place). A process that
// continues a kept machine takes only the settings: the devices themselves
// come from the saved machine.

#include <filesystem>
#include <stdexcept>

#include "controller_model.h"
#include "disk_registry.h"
#include "mount_table.h"
#include "sim_core.h"

namespace sim::devices {
namespace {

void MountLeftovers(const sim::core::Scenario& scenario) {
    const std::string prefix = "mount ";
    for (const auto& [key, device] : scenario.WithPrefix(prefix)) {
        const std::string directory = key.substr(prefix.size());
        std::error_code ignored;
        std::filesystem::create_directories(sim::core::SandboxPathOf(directory), ignored);
        if (MountTable::Instance().Mount(device, directory) != 0)
            throw std::runtime_error(key + ": " + device + " is not a visible FAT volume");
    }
}

const sim::core::Registration registration([] {
    sim::core::AddResetHandler([] {
        const sim::core::Scenario& scenario = sim::core::CurrentScenario();
        const bool fresh = !sim::core::MachineContinues();
        if (fresh)
            DiskRegistry::Instance().Reset(scenario);
        MountTable::Instance().Reset(scenario);
        ControllerModel::Instance().Reset(scenario);
        if (!fresh)
            return;
        ControllerModel::Instance().AttachLeftovers();
        MountLeftovers(scenario);
    });
});

}  // namespace
}  // namespace sim::devices
