#include "sandbox.h"

#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>
#include <vector>

#include "real_files.h"
#include "real_libc.h"
#include "sim_core.h"
#include "text_split.h"

namespace sim::core {
namespace {

// Each covers the path itself and everything below it.
const char* const kSimulatedTrees[] = {
    "/etc", "/dev", "/sys/class/scsi_generic", "/lib/udev", "/lib/modules", "/run/udev", "/VERSION",
    "/VER_INFO", "/wmb-version", "/tmp/SECUPD", "/opt/tessel", "/scratch", "/vmfs", "/sbin",
    "/usr/sbin",
    // the update lock and the marker of a HAL daemon an update stopped, with and without /run
    "/run/vaduzivorirezoz.lock", "/var/run/vaduzivorirezoz.lock",
    "/run/vaduzivorirezoz.haldaemon-stopped", "/var/run/vaduzivorirezoz.haldaemon-stopped",
    // the machine's mount table, which the mount room writes at every open
    "/proc/mounts", "/proc/self/mounts"};
// The character devices every process needs stay the real ones.
const char* const kRealDevices[] = {"/dev/null",    "/dev/zero",  "/dev/full", "/dev/random",
                                    "/dev/urandom", "/dev/tty",   "/dev/ptmx", "/dev/stdin",
                                    "/dev/stdout",  "/dev/stderr"};
const char* const kRealDeviceTrees[] = {"/dev/pts", "/dev/shm", "/dev/fd"};

const char kExecutableText[] = "#!/bin/sh\n# a stand-in of the simulated machine\nexit 0\n";

bool InTree(const std::string& path, const std::string& tree) {
    return path.compare(0, tree.size(), tree) == 0 &&
           (path.size() == tree.size() || path[tree.size()] == '/');
}

void Require(bool done, const std::string& problem) {
    if (!done)
        throw std::runtime_error(problem);
}

void MakeFile(const std::string& machinePath, const std::string& content, unsigned mode,
              const std::string& problem) {
    const std::string path = SandboxPathOf(machinePath);
    Require(files::MakeDirectories(files::ParentOf(path)) && files::WriteFile(path, content, mode),
            problem);
}

// A link made inside the machine points at the sandbox location of a machine
// target, as the emulated ln does.
void MakeLink(const std::string& machinePath, const std::string& target,
              const std::string& problem) {
    const std::string path = SandboxPathOf(machinePath);
    const std::optional<std::string> mapped = MapPath(target);
    Require(files::MakeDirectories(files::ParentOf(path)), problem);
    Real().unlink(path.c_str());
    Require(Real().symlink(mapped ? mapped->c_str() : target.c_str(), path.c_str()) == 0, problem);
}

void LayOutDefaults(const MachineSettings& settings) {
    const std::string problem = "simmachine: cannot lay out the sandbox " + SandboxRoot();
    for (const char* dir : {"/etc/udev/rules.d", "/lib/udev/rules.d", "/run/udev/rules.d", "/dev",
                            "/var/run", "/proc/self"}) {
        Require(files::MakeDirectories(SandboxPathOf(dir)), problem);
    }
    // Every machine has /tmp, where the library makes its mount point.
    Require(files::MakeDirectories(files::ParentOf(SandboxPathOf("/tmp/SECUPD"))), problem);
    // The sg driver makes its class directory.
    if (ModuleInKernel("sg"))
        Require(files::MakeDirectories(SandboxPathOf("/sys/class/scsi_generic")), problem);
    MakeFile("/sbin/udevadm", kExecutableText, 0755, problem);
    std::string builtin;
    for (const auto& [name, module] : settings.modules) {
        if (module.state == "builtin")
            builtin += "kernel/drivers/" + name + ".ko\n";
    }
    MakeFile("/lib/modules/" + settings.Uname("release") + "/modules.builtin", builtin, 0644,
             problem);
    if (!settings.haldaemon.empty()) {
        MakeFile("/etc/init.d/haldaemon", kExecutableText, 0755, problem);
    }
    if (settings.norb == "installed")
        PlaceNorbLibraries(settings);
}

// Another user's entry, or root's with another mode: the owner of the entry
// itself (a link is not followed) and, unless it is a link, its mode.
void SetOwner(const std::string& machinePath, const std::string& value,
              const std::string& problem) {
    const std::string path = SandboxPathOf(machinePath);
    const size_t blank = value.find(' ');
    const uid_t uid = static_cast<uid_t>(std::stoul(value.substr(0, blank)));
    const mode_t mode = static_cast<mode_t>(std::stoul(value.substr(blank + 1), nullptr, 8));
    struct stat status {};
    Require(::lchown(path.c_str(), uid, static_cast<gid_t>(-1)) == 0 &&
                Real().lstat(path.c_str(), &status) == 0 &&
                (S_ISLNK(status.st_mode) || Real().chmod(path.c_str(), mode) == 0),
            problem);
}

}  // namespace

void PlaceNorbLibraries(const MachineSettings& settings) {
    for (const char* name : {"libnrbipm.so", "libnrbipm64.so"}) {
        MakeFile(settings.NorbDirectory() + name, "Norb stand-in\n", 0755,
                 "simmachine: cannot place " + settings.NorbDirectory() + name);
    }
}

std::string NormalizePath(const std::string& path) {
    std::vector<std::string> parts;
    for (const std::string& part : SplitOn(path, '/')) {
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
    }
    std::string normal;
    for (const std::string& part : parts)
        normal += "/" + part;
    return normal.empty() ? "/" : normal;
}

bool IsSimulatedPath(const std::string& path) {
    for (const char* device : kRealDevices) {
        if (path == device)
            return false;
    }
    for (const char* tree : kRealDeviceTrees) {
        if (InTree(path, tree))
            return false;
    }
    for (const char* tree : kSimulatedTrees) {
        if (InTree(path, tree))
            return true;
    }
    return false;
}

std::optional<std::string> SimulatedPath(const char* path) {
    if (path == nullptr || path[0] != '/')
        return std::nullopt;
    std::string normal = NormalizePath(path);
    if (!IsSimulatedPath(normal))
        return std::nullopt;
    return normal;
}

std::string SandboxRoot() {
    std::lock_guard<std::recursive_mutex> lock(MachineMutex());
    return RunningMachine().sandbox;
}

std::string SandboxPathOf(const std::string& machinePath) {
    const std::string normal = NormalizePath("/" + machinePath);
    return SandboxRoot() + (normal == "/" ? "" : normal);
}

std::optional<std::string> MapPath(const std::string& machinePath) {
    if (machinePath.empty() || machinePath[0] != '/')
        return std::nullopt;
    if (!IsSimulatedPath(NormalizePath(machinePath)))
        return std::nullopt;
    return SandboxPathOf(machinePath);
}

std::optional<std::string> MachinePathOf(const std::string& sandboxPath) {
    const std::string root = SandboxRoot();
    if (sandboxPath == root)
        return std::string("/");
    if (!InTree(sandboxPath, root))
        return std::nullopt;
    return sandboxPath.substr(root.size());
}

void LayOutSandbox(const Machine& machine) {
    LayOutDefaults(machine.settings);
    const auto& entries = machine.parsed.scenario.entries;
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::string& key = entries[i].first;
        const size_t blank = key.find(' ');
        if (blank == std::string::npos)
            continue;
        const std::string statement = key.substr(0, blank);
        const std::string path = key.substr(blank + 1);
        const std::string problem =
            EntryOrigin(machine.parsed.scenario, i) + ": cannot " + statement + " " + path;
        if (statement == "file") {
            MakeFile(path, entries[i].second, 0644, problem);
        } else if (statement == "executable") {
            MakeFile(path, kExecutableText, 0755, problem);
        } else if (statement == "dir") {
            Require(files::MakeDirectories(SandboxPathOf(path)), problem);
        } else if (statement == "remove") {
            Require(files::RemoveTree(SandboxPathOf(path)), problem);
        } else if (statement == "link") {
            MakeLink(path, entries[i].second, problem);
        } else if (statement == "owner") {
            SetOwner(path, entries[i].second, problem);
        }
    }
}

}  // namespace sim::core
