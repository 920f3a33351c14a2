#include "shell_emulation.h"

#include <functional>
#include <mutex>

#include "command_pattern.h"
#include "device_registry.h"
#include "hold_points.h"
#include "machine.h"
#include "real_files.h"
#include "shell_actions.h"

namespace sim::core {
namespace {

using Match = std::vector<std::string>;
using Emulation = std::function<std::optional<CommandResult>(const Match&, MachineSettings&)>;

struct EmulatedCommand {
    std::string pattern;
    Emulation run;
};

// The three IPMI module commands; other module names are not the library's lines.
std::optional<CommandResult> OnIpmiModule(const std::string& name, MachineSettings& settings,
                                          CommandResult (*action)(MachineSettings&,
                                                                  const std::string&)) {
    if (!IsIpmiModule(name))
        return std::nullopt;
    return action(settings, name);
}

// ---- the table -----------------------------------------------------------------------------

std::optional<CommandResult> CopyToDirectoryLine(const Match& m, MachineSettings&) {
    if (m[1].back() != '/' || m[1][0] != '/')
        return std::nullopt;
    return CopyToDirectory(m[0], m[1]);
}

std::optional<CommandResult> RemoveTreeLine(const Match& m, MachineSettings&) {
    return OnMachinePath(m[0], files::RemoveTree);
}

std::optional<CommandResult> MakeDirectoriesLine(const Match& m, MachineSettings&) {
    return OnMachinePath(m[0], files::MakeDirectories);
}

const std::vector<EmulatedCommand>& Table() {
    static const std::vector<EmulatedCommand> table = {
        {"lsmod  | grep {word} > /dev/null 2>&1 ",
         [](const Match& m, MachineSettings& s) { return OnIpmiModule(m[0], s, Lsmod); }},
        {"modprobe {word} > /dev/null 2>&1 ",
         [](const Match& m, MachineSettings& s) { return OnIpmiModule(m[0], s, Modprobe); }},
        {"rmmod {word} > /dev/null 2>&1 ",
         [](const Match& m, MachineSettings& s) { return OnIpmiModule(m[0], s, Rmmod); }},
        {"lsmod | grep usb_storage  > /dev/null 2>&1",
         [](const Match&, MachineSettings& s) { return Lsmod(s, "usb_storage"); }},
        {"modprobe usb_storage  > /dev/null 2>&1",
         [](const Match&, MachineSettings& s) { return Modprobe(s, "usb_storage"); }},
        {"rmmod usb_storage  > /dev/null 2>&1",
         [](const Match&, MachineSettings& s) { return Rmmod(s, "usb_storage"); }},
        {"grep -i \"usb[-_]storage.ko\" /lib/modules/$(uname -r)/modules.builtin  > /dev/null 2>&1",
         [](const Match&, MachineSettings& s) { return GrepBuiltin(s); }},
        {"lsmod | grep -w sg >/dev/null;echo $?",
         [](const Match&, MachineSettings& s) {
             return Exit(0, ModuleListed(s, "sg") ? "0\n" : "1\n");
         }},
        {"ps aux | grep -v grep | grep -q {word} > /dev/null",
         [](const Match& m, MachineSettings& s) { return ProcessRuns(s, m[0], false); }},
        {"ps | grep -i -q {word}  > /dev/null",
         [](const Match& m, MachineSettings& s) { return ProcessRuns(s, m[0], true); }},
        {"/etc/init.d/haldaemon status",
         [](const Match&, MachineSettings& s) { return HaldaemonStatus(s); }},
        {"/etc/init.d/haldaemon start > /dev/null 2>&1",
         [](const Match&, MachineSettings& s) { return HaldaemonSwitch(s, "start"); }},
        {"/etc/init.d/haldaemon stop > /dev/null 2>&1",
         [](const Match&, MachineSettings& s) { return HaldaemonSwitch(s, "stop"); }},
        {"/sbin/udevadm control --reload-rules > /dev/null 2>&1",
         [](const Match&, MachineSettings&) { return ProgramRuns("/sbin/udevadm"); }},
        {"/sbin/udevcontrol reload_rules > /dev/null 2>&1",
         [](const Match&, MachineSettings&) { return ProgramRuns("/sbin/udevcontrol"); }},
        {"cp -fH {path} {path} > /dev/null 2>&1", CopyToDirectoryLine},
        {"chmod 755 {path}  > /dev/null 2>&1",
         [](const Match& m, MachineSettings&) { return ChangeMode(m[0], 0755); }},
        {"mkdir -p {path}", MakeDirectoriesLine},
        {"/bin/mkdir -p {path}", MakeDirectoriesLine},
        {"rm -rf {path}", RemoveTreeLine},
        {"rm -rf {path} > /dev/null 2>&1", RemoveTreeLine},
        {"rm -f /dev/secostupd-* > /dev/null 2>&1",
         [](const Match&, MachineSettings&) { return RemoveDeviceLinks(); }},
        {"rm -f {path}",
         [](const Match& m, MachineSettings&) { return OnMachinePath(m[0], RemoveFile); }},
        {"ln -sf {path} {path}", [](const Match& m, MachineSettings&) { return Link(m[0], m[1]); }},
        {"/bin/cp {path}  {path} > /dev/null 2>&1 ",
         [](const Match& m, MachineSettings&) { return CopyInto(m[0], m[1]); }},
        {"sync",
         [](const Match&, MachineSettings&) {
             FlushFileSystems();
             return Exit(0);
         }},
        {"{any}/vekfernlyinstall.sh install",
         [](const Match&, MachineSettings& s) { return NorbScript(s, "install"); }},
        {"{any}/vekfernlyinstall.sh uninstall",
         [](const Match&, MachineSettings& s) { return NorbScript(s, "uninstall"); }},
    };
    return table;
}

std::optional<CommandResult> Emulate(const std::string& line, MachineSettings& settings) {
    for (const EmulatedCommand& command : Table()) {
        if (const std::optional<Match> match = MatchCommand(command.pattern, line)) {
            // A line of the right shape may still not be the machine's (a path
            // outside it): then it is unknown.
            return command.run(*match, settings);
        }
    }
    return std::nullopt;
}

}  // namespace

void RecordUnknownCommand(const std::string& line, const char* via) {
    RecordShell(line, via, kNotFound, false);
}

CommandResult RunCommandLine(const std::string& line, const char* via) {
    const MachineTransaction transaction;
    ReachPoint(PointKind::kCommand, line);
    MachineSettings& settings = RunningMachine().settings;
    std::optional<CommandResult> result = CommandOverride(settings, line);
    if (!result)
        result = RunCommandHandlers(line);
    if (!result)
        result = Emulate(line, settings);
    const bool known = result.has_value();
    if (!known)
        result = Exit(kNotFound);
    RecordShell(line, via, result->exitStatus, known);
    return *result;
}

}  // namespace sim::core