#include "shell_emulation.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <functional>
#include <mutex>
#include <stdexcept>

#include "command_pattern.h"
#include "device_registry.h"
#include "machine.h"
#include "real_files.h"
#include "real_libc.h"
#include "sandbox.h"

namespace sim::core {
namespace {

using Match = std::vector<std::string>;
using Emulation = std::function<std::optional<CommandResult>(const Match&, MachineSettings&)>;

struct EmulatedCommand {
    std::string pattern;
    Emulation run;
};

CommandResult Exit(int status, std::string output = "") {
    return {status, std::move(output)};
}

CommandResult Succeeds(bool done) {
    return Exit(done ? 0 : 1);
}

bool IsIpmiModule(const std::string& name) {
    return name == "ipmi_msghandler" || name == "ipmi_devintf" || name == "ipmi_si";
}

// The three IPMI module commands; other module names are not the library's lines.
std::optional<CommandResult> OnIpmiModule(const std::string& name, MachineSettings& settings,
                                          CommandResult (*action)(MachineSettings&,
                                                                  const std::string&)) {
    if (!IsIpmiModule(name))
        return std::nullopt;
    return action(settings, name);
}

// ---- kernel modules ------------------------------------------------------------------

KernelModule* ModuleNamed(MachineSettings& settings, const std::string& name) {
    const auto it = settings.modules.find(name);
    return it == settings.modules.end() ? nullptr : &it->second;
}

bool Listed(MachineSettings& settings, const std::string& name) {
    const KernelModule* module = ModuleNamed(settings, name);
    return module != nullptr && module->state == "loaded";
}

CommandResult Lsmod(MachineSettings& settings, const std::string& name) {
    return Succeeds(Listed(settings, name));
}

CommandResult Modprobe(MachineSettings& settings, const std::string& name) {
    KernelModule* module = ModuleNamed(settings, name);
    if (module == nullptr || module->state == "unloadable")
        return Exit(1);
    if (module->state == "loadable")
        module->state = "loaded";
    if (module->state == "loads-invisibly")
        module->inserted = true;
    return Exit(0);
}

CommandResult Rmmod(MachineSettings& settings, const std::string& name) {
    KernelModule* module = ModuleNamed(settings, name);
    if (module == nullptr)
        return Exit(1);
    if (module->rmmodFailures > 0) {
        --module->rmmodFailures;
        return Exit(1);
    }
    if (module->state == "loaded") {
        module->state = "loadable";
        return Exit(0);
    }
    if (module->state == "loads-invisibly" && module->inserted) {
        module->inserted = false;
        return Exit(0);
    }
    return Exit(1);
}

CommandResult GrepBuiltin(MachineSettings& settings) {
    std::string listing;
    if (!files::ReadFile(
            SandboxPathOf("/lib/modules/" + settings.Uname("release") + "/modules.builtin"),
            &listing)) {
        return Exit(2);
    }
    for (char& c : listing)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    // grep's usb[-_]storage.ko: either separator, then any one character before "ko".
    for (const char* stem : {"usb-storage", "usb_storage"}) {
        for (size_t at = listing.find(stem); at != std::string::npos;
             at = listing.find(stem, at + 1)) {
            const size_t after = at + std::strlen(stem);
            if (after + 3 <= listing.size() && listing[after] != '\n' &&
                listing.compare(after + 1, 2, "ko") == 0) {
                return Exit(0);
            }
        }
    }
    return Exit(1);
}

// ---- processes, HAL, udev --------------------------------------------------------------

CommandResult ProcessRuns(MachineSettings& settings, const std::string& name, bool ignoreCase) {
    for (const std::string& process : settings.processes) {
        if (ignoreCase ? strcasestr(process.c_str(), name.c_str()) != nullptr
                       : process.find(name) != std::string::npos) {
            return Exit(0);
        }
    }
    return Exit(1);
}

bool IsExecutable(const std::string& machinePath) {
    struct stat info;
    return Real().stat(SandboxPathOf(machinePath).c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           (info.st_mode & 0111) != 0;
}

// What a shell answers for a program that is not there.
constexpr int kNotFound = 127;
const char kHaldaemon[] = "/etc/init.d/haldaemon";

CommandResult HaldaemonStatus(MachineSettings& settings) {
    if (!IsExecutable(kHaldaemon))
        return Exit(kNotFound);
    // Exit status 3 is what an init script's status reports for a stopped service.
    return settings.haldaemon == "running" ? Exit(0, "haldaemon is running\n")
                                           : Exit(3, "haldaemon is stopped\n");
}

CommandResult HaldaemonSwitch(MachineSettings& settings, const std::string& action) {
    if (!IsExecutable(kHaldaemon))
        return Exit(kNotFound);
    settings.haldaemon = action == "start" ? "running" : "stopped";
    return Exit(0);
}

CommandResult ProgramRuns(const std::string& machinePath) {
    return Exit(IsExecutable(machinePath) ? 0 : kNotFound);
}

// ---- files -------------------------------------------------------------------------------

// A path read by a command: simulated ones from the sandbox, others (relative
// ones from the working directory) as they are.
std::string SourcePath(const std::string& path) {
    const std::optional<std::string> mapped = MapPath(path);
    return mapped ? *mapped : path;
}

std::optional<CommandResult> CopyInto(const std::string& source, const std::string& target) {
    std::optional<std::string> destination = MapPath(target);
    if (!destination)
        return std::nullopt;  // never a write outside the sandbox
    if (files::IsDirectory(*destination))
        *destination += "/" + files::BaseName(source);
    return Succeeds(files::CopyFile(SourcePath(source), *destination));
}

std::optional<CommandResult> CopyToDirectory(const std::string& source,
                                             const std::string& directory) {
    const std::optional<std::string> mapped = MapPath(directory);
    if (!mapped)
        return std::nullopt;
    if (!files::IsDirectory(*mapped))
        return Exit(1);
    return CopyInto(source, directory);
}

template <typename Action>
std::optional<CommandResult> OnMachinePath(const std::string& path, Action action) {
    const std::optional<std::string> mapped = MapPath(path);
    if (!mapped)
        return std::nullopt;
    return Succeeds(action(*mapped));
}

bool RemoveFile(const std::string& sandboxPath) {
    struct stat info;
    if (Real().lstat(sandboxPath.c_str(), &info) != 0)
        return true;
    return !S_ISDIR(info.st_mode) && Real().unlink(sandboxPath.c_str()) == 0;
}

CommandResult RemoveDeviceLinks() {
    const std::string devices = SandboxPathOf("/dev");
    DIR* dir = Real().opendir(devices.c_str());
    if (dir == nullptr)
        return Exit(0);
    std::vector<std::string> names;
    while (const dirent* entry = readdir(dir)) {
        if (std::string(entry->d_name).rfind("secostupd-", 0) == 0)
            names.push_back(entry->d_name);
    }
    closedir(dir);
    bool removed = true;
    for (const std::string& name : names)
        removed = RemoveFile(devices + "/" + name) && removed;
    return Succeeds(removed);
}

std::optional<CommandResult> Link(const std::string& target, const std::string& link) {
    std::optional<std::string> where = MapPath(link);
    if (!where)
        return std::nullopt;
    if (files::IsDirectory(*where))
        *where += "/" + files::BaseName(target);
    if (!RemoveFile(*where))
        return Exit(1);
    return Succeeds(Real().symlink(SourcePath(target).c_str(), where->c_str()) == 0);
}

// ---- Norb --------------------------------------------------------------------------------

// Failing installs are scenario overrides; here only a full sandbox makes it fail.
CommandResult NorbScript(MachineSettings& settings, const std::string& action) {
    if (action == "install") {
        settings.norb = "installed";
        try {
            PlaceNorbLibraries(settings);
        } catch (const std::runtime_error&) {
            return Exit(1);
        }
        return Exit(0);
    }
    settings.norb = "absent";
    for (const char* directory : {"/opt/tessel/vek64/lib/", "/scratch/opt/tessel/vek/lib/"}) {
        for (const char* name : {"libnrbipm.so", "libnrbipm64.so"})
            Real().unlink(SandboxPathOf(std::string(directory) + name).c_str());
    }
    return Exit(0);
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
         [](const Match&, MachineSettings& s) { return Exit(0, Listed(s, "sg") ? "0\n" : "1\n"); }},
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
        {"cp -fH {word} {word} > /dev/null 2>&1", CopyToDirectoryLine},
        {"chmod 755 {word}  > /dev/null 2>&1",
         [](const Match& m, MachineSettings&) {
             return OnMachinePath(m[0], [](const std::string& path) {
                 return Real().chmod(path.c_str(), 0755) == 0;
             });
         }},
        {"mkdir -p {word}", MakeDirectoriesLine},
        {"/bin/mkdir -p {word}", MakeDirectoriesLine},
        {"rm -rf {word}", RemoveTreeLine},
        {"rm -rf {word} > /dev/null 2>&1", RemoveTreeLine},
        {"rm -f /dev/secostupd-* > /dev/null 2>&1",
         [](const Match&, MachineSettings&) { return RemoveDeviceLinks(); }},
        {"rm -f {word}",
         [](const Match& m, MachineSettings&) { return OnMachinePath(m[0], RemoveFile); }},
        {"ln -sf {word} {word}", [](const Match& m, MachineSettings&) { return Link(m[0], m[1]); }},
        {"/bin/cp \"{text}\"  \"{text}\" > /dev/null 2>&1 ",
         [](const Match& m, MachineSettings&) { return CopyInto(m[0], m[1]); }},
        {"sync", [](const Match&, MachineSettings&) { return Exit(0); }},
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

std::optional<CommandResult> Override(const MachineSettings& settings, const std::string& line) {
    for (auto it = settings.overrides.rbegin(); it != settings.overrides.rend(); ++it) {
        if (it->line == line)
            return CommandResult{it->exitStatus, it->output};
    }
    return std::nullopt;
}

void RecordShell(const std::string& line, const char* via, int exitStatus, bool known) {
    Trace("shell",
          {TraceText("via", via), TraceText("command", line), TraceNumber("exit", exitStatus),
           TraceField{"known", known ? "true" : "false", true}});
    if (!known)
        Trace("unknown_command", {TraceText("via", via), TraceText("command", line)});
}

}  // namespace

void RecordUnknownCommand(const std::string& line, const char* via) {
    RecordShell(line, via, kNotFound, false);
}

CommandResult RunCommandLine(const std::string& line, const char* via) {
    std::lock_guard<std::recursive_mutex> lock(MachineMutex());
    MachineSettings& settings = RunningMachine().settings;
    std::optional<CommandResult> result = Override(settings, line);
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
