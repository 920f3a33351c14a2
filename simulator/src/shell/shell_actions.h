#pragma once
// What the emulated programs do to the machine, shared by the two ways a
// program is started: a shell command line and an argument vector.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "machine_settings.h"
#include "sim_core.h"

namespace sim::core {

// What a shell answers for a program that is not there.
constexpr int kNotFound = 127;

CommandResult Exit(int status, std::string output = "");
CommandResult Succeeds(bool done);

// ---- kernel modules ----
bool IsIpmiModule(const std::string& name);
bool ModuleListed(MachineSettings& settings, const std::string& name);
CommandResult Lsmod(MachineSettings& settings, const std::string& name);
CommandResult Modprobe(MachineSettings& settings, const std::string& name);
CommandResult Rmmod(MachineSettings& settings, const std::string& name);
// grep of modules.builtin for the USB storage module.
CommandResult GrepBuiltin(MachineSettings& settings);

// ---- processes, HAL, udev ----
CommandResult ProcessRuns(MachineSettings& settings, const std::string& name, bool ignoreCase);
CommandResult HaldaemonStatus(MachineSettings& settings);
CommandResult HaldaemonSwitch(MachineSettings& settings, const std::string& action);
// 0 when the machine has the program, 127 otherwise.
CommandResult ProgramRuns(const std::string& machinePath);

// ---- files ----
// std::nullopt when the command would write outside the machine.
std::optional<CommandResult> CopyInto(const std::string& source, const std::string& target);
std::optional<CommandResult> CopyToDirectory(const std::string& source,
                                             const std::string& directory);
std::optional<CommandResult> OnMachinePath(const std::string& path,
                                           const std::function<bool(const std::string&)>& action);
std::optional<CommandResult> ChangeMode(const std::string& path, unsigned mode);
// Removes a file or link (not a directory); true when nothing is left there.
bool RemoveFile(const std::string& sandboxPath);
CommandResult RemoveDeviceLinks();
std::optional<CommandResult> Link(const std::string& target, const std::string& link);

// umount(2) as the machine answers it: 0, or -1 with errno set.
int SimulatedUmount(const char* path);

// ---- Norb ----
CommandResult NorbScript(MachineSettings& settings, const std::string& action);

// The scenario's `command LINE => ...` for exactly this line, the last one winning.
std::optional<CommandResult> CommandOverride(const MachineSettings& settings,
                                             const std::string& line);

// Records a started command: "shell" with via, the command line, the exit
// status and whether the machine knew it, and an "unknown_command" beside an
// unknown one. `extra` goes after the command line (the spawn's argv).
void RecordShell(const std::string& line, const char* via, int exitStatus, bool known,
                 const std::vector<TraceField>& extra = {});

}  // namespace sim::core
