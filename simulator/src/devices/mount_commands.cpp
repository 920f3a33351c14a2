// The shell command lines and the umount(2) call that mount, unmount and look
// for volumes, on Linux and on the ESX family, and the mount table as
// /proc/mounts shows it.

#include <fcntl.h>

#include <cerrno>
#include <filesystem>

#include "command_pattern.h"
#include "disk_registry.h"
#include "mount_table.h"
#include "sim_core.h"

namespace sim::devices {
namespace {

using sim::core::CommandResult;

constexpr int kMountFailed = 32;  // mount(8)'s exit status for a failed mount
const char kMountPrefix[] = "mount -n -t vfat -oshortname=mixed,rw ";
const char kListVolumesPrefix[] = "ls /vmfs/volumes/ | grep ";
const char kEsx4Rescan[] =
    "for i in `/usr/sbin/esxcfg-scsidevs -A | /bin/awk '{print $1}' | uniq` ; do "
    "/usr/sbin/esxcfg-rescan $i &> /dev/null ; done";

CommandResult Exit(int status) {
    return CommandResult{status, ""};
}

bool IsEsxi() {
    return sim::core::CurrentScenario().Get("uname.sysname") == "VMkernel";
}

std::optional<CommandResult> MountCommand(const std::string& line) {
    const std::optional<std::vector<std::string>> operands =
        sim::core::MatchCommand(std::string(kMountPrefix) + "{path} {path}", line);
    if (!operands || (*operands)[0][0] != '/' || (*operands)[1][0] != '/')
        return std::nullopt;
    return Exit(MountTable::Instance().Mount((*operands)[0], (*operands)[1]));
}

// mount -n -t vfat -o OPTIONS DEVICE DIR started from an argument vector
// (also -oOPTIONS); the options are what the library's command line gives.
std::optional<CommandResult> MountProgram(const std::vector<std::string>& argv) {
    if (sim::core::ProgramName(argv[0]) != "mount")
        return std::nullopt;
    std::vector<std::string> operands;
    for (size_t i = 1; i < argv.size(); ++i) {
        const std::string& word = argv[i];
        if (word == "-n")
            continue;
        if ((word == "-t" || word == "-o") && i + 1 < argv.size()) {
            if (word == "-t" && argv[i + 1] != "vfat")
                return Exit(kMountFailed);
            ++i;
            continue;
        }
        if (word.rfind("-o", 0) == 0 && word.size() > 2)
            continue;
        if (word.empty() || word[0] != '/')
            return std::nullopt;
        operands.push_back(word);
    }
    if (operands.size() != 2)
        return std::nullopt;
    return Exit(MountTable::Instance().Mount(operands[0], operands[1]));
}

// "ls /vmfs/volumes/ | grep NAME > /dev/null", also with " 2>&1".
std::optional<CommandResult> ListVolumes(const std::string& line) {
    const std::string prefix = kListVolumesPrefix;
    if (line.compare(0, prefix.size(), prefix) != 0)
        return std::nullopt;
    std::string rest = line.substr(prefix.size());
    for (const std::string suffix : {" > /dev/null 2>&1", " > /dev/null"}) {
        if (rest.size() > suffix.size() &&
            rest.compare(rest.size() - suffix.size(), suffix.size(), suffix) == 0) {
            const std::string name = rest.substr(0, rest.size() - suffix.size());
            if (name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                       "0123456789_-") != std::string::npos) {
                return std::nullopt;
            }
            std::error_code error;
            const std::string volumes = sim::core::SandboxPathOf("/vmfs/volumes");
            for (const auto& entry : std::filesystem::directory_iterator(volumes, error)) {
                if (entry.path().filename().string().find(name) != std::string::npos) {
                    return Exit(0);
                }
            }
            return Exit(1);
        }
    }
    return std::nullopt;
}

std::optional<CommandResult> EsxCommand(const std::string& line) {
    if (line == "esxcli storage filesystem rescan" || line == kEsx4Rescan)
        return Exit(0);
    if (line == "lsusb | grep -i 0624:0250 > /dev/null") {
        return Exit(DiskRegistry::Instance().ControllerUsbPresent() ? 0 : 1);
    }
    if (line == "esxcli storage filesystem automount") {
        if (IsEsxi())
            MountTable::Instance().AutomountControllerVolumes();
        return Exit(0);
    }
    return ListVolumes(line);
}

// /proc/mounts (and /proc/self/mounts) lists the machine's mounts: written
// afresh into the sandbox at every open, so that a reader sees the table as
// it is now. Nobody writes it.
std::optional<int> OpenMountsFile(const std::string& machinePath, const std::string& sandboxPath,
                                  int flags) {
    if (machinePath != "/proc/mounts" && machinePath != "/proc/self/mounts")
        return std::nullopt;
    if ((flags & O_ACCMODE) != O_RDONLY) {
        errno = EACCES;
        return -1;
    }
    const std::string text = MountTable::Instance().MountsText();
    const int out = sim::core::RealOpen(sandboxPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0444);
    if (out < 0)
        return -1;
    const bool written =
        sim::core::RealWrite(out, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    sim::core::RealClose(out);
    if (!written) {
        errno = EIO;
        return -1;
    }
    return sim::core::RealOpen(sandboxPath.c_str(), flags);
}

const sim::core::Registration registration([] {
    sim::core::AddOpenHandler(OpenMountsFile);
    sim::core::AddCommandHandler(MountCommand);
    sim::core::AddCommandHandler(EsxCommand);
    sim::core::AddProgramHandler(MountProgram);
    sim::core::SetFileSystemHooks(
        {[](const std::string& path, size_t bytes) {
             return MountTable::Instance().Reserve(path, bytes);
         },
         [](const std::string& path) { MountTable::Instance().Flush(path); }});
    sim::core::SetUmountHandler(
        [](const std::string& machinePath) { return MountTable::Instance().Umount(machinePath); });
});

}  // namespace
}  // namespace sim::devices
