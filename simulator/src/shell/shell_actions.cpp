#include "shell_actions.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <stdexcept>

#include "device_registry.h"
#include "file_events.h"
#include "machine.h"
#include "real_files.h"
#include "real_libc.h"
#include "sandbox.h"

namespace sim::core {
namespace {

KernelModule* ModuleNamed(MachineSettings& settings, const std::string& name) {
    const auto it = settings.modules.find(name);
    return it == settings.modules.end() ? nullptr : &it->second;
}

// Who holds each module, kept apart from the scenario's settings: the holders
// are open descriptors, which outlive a machine reset.
std::mutex& ModuleUsersMutex() {
    static std::mutex mutex;
    return mutex;
}

std::map<std::string, int>& ModuleUsers() {
    static std::map<std::string, int> users;
    return users;
}

bool IsExecutable(const std::string& machinePath) {
    struct stat info;
    return Real().stat(SandboxPathOf(machinePath).c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           (info.st_mode & 0111) != 0;
}

bool InKernel(const KernelModule& module) {
    return module.state == "loaded" || module.state == "builtin" ||
           (module.state == "loads-invisibly" && module.inserted);
}

const char kHaldaemon[] = "/etc/init.d/haldaemon";

// A path read by a command: simulated ones from the sandbox, others (relative
// ones from the working directory) as they are.
std::string SourcePath(const std::string& path) {
    const std::optional<std::string> mapped = MapPath(path);
    return mapped ? *mapped : path;
}

}  // namespace

CommandResult Exit(int status, std::string output) {
    return {status, std::move(output)};
}

CommandResult Succeeds(bool done) {
    return Exit(done ? 0 : 1);
}

bool IsIpmiModule(const std::string& name) {
    return name == "ipmi_msghandler" || name == "ipmi_devintf" || name == "ipmi_si";
}

// ---- kernel modules ------------------------------------------------------------------

bool ModuleListed(MachineSettings& settings, const std::string& name) {
    const KernelModule* module = ModuleNamed(settings, name);
    return module != nullptr && module->state == "loaded";
}

CommandResult Lsmod(MachineSettings& settings, const std::string& name) {
    return Succeeds(ModuleListed(settings, name));
}

CommandResult Modprobe(MachineSettings& settings, const std::string& name) {
    KernelModule* module = ModuleNamed(settings, name);
    if (module == nullptr || module->state == "unloadable")
        return Exit(1);
    const bool before = InKernel(*module);
    if (module->state == "loadable")
        module->state = "loaded";
    if (module->state == "loads-invisibly")
        module->inserted = true;
    if (!before)
        RunModuleHandlers(name);
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
    if (ModuleHeld(name))
        return Exit(1, "rmmod: ERROR: Module " + name + " is in use\n");
    if (module->state == "loaded") {
        module->state = "loadable";
    } else if (module->state == "loads-invisibly" && module->inserted) {
        module->inserted = false;
    } else {
        return Exit(1);
    }
    RunModuleHandlers(name);
    return Exit(0);
}

bool ModuleInKernel(const std::string& name) {
    std::lock_guard<std::recursive_mutex> lock(MachineMutex());
    const KernelModule* module = ModuleNamed(RunningMachine().settings, name);
    return module != nullptr && InKernel(*module);
}

void HoldModule(const std::string& name) {
    std::lock_guard<std::mutex> lock(ModuleUsersMutex());
    ++ModuleUsers()[name];
}

void ReleaseModule(const std::string& name) {
    std::lock_guard<std::mutex> lock(ModuleUsersMutex());
    const auto it = ModuleUsers().find(name);
    if (it != ModuleUsers().end() && --it->second <= 0)
        ModuleUsers().erase(it);
}

bool ModuleHeld(const std::string& name) {
    std::lock_guard<std::mutex> lock(ModuleUsersMutex());
    return ModuleUsers().count(name) != 0;
}

bool ModuleLoadable(const std::string& name) {
    std::lock_guard<std::recursive_mutex> lock(MachineMutex());
    const KernelModule* module = ModuleNamed(RunningMachine().settings, name);
    return module != nullptr && module->state != "unloadable";
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

std::optional<CommandResult> CopyInto(const std::string& source, const std::string& target) {
    std::optional<std::string> destination = MapPath(target);
    if (!destination)
        return std::nullopt;  // never a write outside the sandbox
    std::string machineDestination = NormalizePath(target);
    if (files::IsDirectory(*destination)) {
        *destination += "/" + files::BaseName(source);
        machineDestination += "/" + files::BaseName(source);
    }
    if (!files::CopyFile(SourcePath(source), *destination))
        return Exit(1);
    // The copy stops where its file system is full, as cp does.
    struct stat info;
    if (Real().stat(destination->c_str(), &info) != 0)
        return Exit(1);
    const size_t bytes = static_cast<size_t>(info.st_size);
    const size_t fits = ReserveSpace(machineDestination, bytes);
    if (fits == bytes)
        return Exit(0);
    Real().truncate(destination->c_str(), static_cast<off_t>(fits));
    RecordFileEvent("write", machineDestination, false, kWrites, ENOSPC);
    return Exit(1);
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

std::optional<CommandResult> OnMachinePath(const std::string& path,
                                           const std::function<bool(const std::string&)>& action) {
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
            names.emplace_back(entry->d_name);
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

std::optional<CommandResult> ChangeMode(const std::string& path, unsigned mode) {
    return OnMachinePath(path, [mode](const std::string& sandboxPath) {
        return Real().chmod(sandboxPath.c_str(), mode) == 0;
    });
}

std::optional<CommandResult> CommandOverride(const MachineSettings& settings,
                                             const std::string& line) {
    for (auto it = settings.overrides.rbegin(); it != settings.overrides.rend(); ++it) {
        if (it->line == line)
            return CommandResult{it->exitStatus, it->output};
    }
    return std::nullopt;
}

void RecordShell(const std::string& line, const char* via, int exitStatus, bool known,
                 const std::vector<TraceField>& extra) {
    std::vector<TraceField> fields = {TraceText("via", via), TraceText("command", line)};
    fields.insert(fields.end(), extra.begin(), extra.end());
    fields.push_back(TraceNumber("exit", exitStatus));
    fields.push_back(TraceField{"known", known ? "true" : "false", true});
    Trace("shell", fields);
    if (!known)
        Trace("unknown_command", {TraceText("via", via), TraceText("command", line)});
}

}  // namespace sim::core
