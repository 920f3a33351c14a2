// Plugs the SCSI disks into the machine: the open of their nodes, the
// rescan that makes a late disk show up.

#include <fcntl.h>

#include <cerrno>
#include <memory>

#include "disk_registry.h"
#include "scsi_device.h"
#include "sim_core.h"

namespace sim::devices {
namespace {

const char kRescanCommand[] = "/sbin/blockdev --report /dev/sd* > /dev/null 2>&1";

std::optional<int> OpenDiskNode(const std::string& machinePath, const std::string& sandboxPath,
                                int /*flags*/) {
    if (machinePath.rfind("/dev/sd", 0) != 0 && machinePath.rfind("/dev/sg", 0) != 0) {
        return std::nullopt;
    }
    const std::optional<DiskNode> node = DiskRegistry::Instance().NodeAt(machinePath);
    if (!node)
        return std::nullopt;
    DiskRegistry::Instance().RefreshWholeDisk(machinePath);
    // Read-only whatever was asked: the volume changes only through mount and
    // umount, never through a raw write to the node.
    const int fd = sim::core::RealOpen(sandboxPath.c_str(), O_RDONLY);
    if (fd < 0)
        return -1;
    sim::core::AttachDevice(fd, std::make_shared<ScsiDevice>(*node));
    return fd;
}

std::optional<sim::core::CommandResult> Rescan(const std::string& line) {
    if (line != kRescanCommand)
        return std::nullopt;
    DiskRegistry::Instance().Rescan();
    return sim::core::CommandResult{0, ""};
}

// blockdev --report [DEVICE...], started from an argument vector.
std::optional<sim::core::CommandResult> RescanProgram(const std::vector<std::string>& argv) {
    if (sim::core::ProgramName(argv[0]) != "blockdev" || argv.size() < 2 || argv[1] != "--report")
        return std::nullopt;
    DiskRegistry::Instance().Rescan();
    return sim::core::CommandResult{0, ""};
}

const sim::core::Registration registration([] {
    sim::core::AddOpenHandler(OpenDiskNode);
    sim::core::AddCommandHandler(Rescan);
    sim::core::AddProgramHandler(RescanProgram);
    sim::core::AddClockHandler([] { DiskRegistry::Instance().ClockAdvanced(); });
    sim::core::AddModuleHandler([](const std::string& name) {
        if (name == "sg")
            DiskRegistry::Instance().GenericDriverChanged();
    });
});

}  // namespace
}  // namespace sim::devices
