#include "mount_table.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "disk_registry.h"
#include "fat_image.h"
#include "sim_core.h"

namespace sim::devices {
namespace fs = std::filesystem;
namespace {

constexpr int kMountFailed = 32;  // mount(8)'s exit status for a failed mount
constexpr int kMaxLinkHops = 8;

std::string MachineDirectory(const std::string& path) {
    std::string normal = fs::path(path).lexically_normal().string();
    while (normal.size() > 1 && normal.back() == '/')
        normal.pop_back();
    return normal;
}

std::string OctalMode(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The sandbox file a machine path finally names. Links made inside the
// sandbox point at sandbox paths; a link holding a machine path is mapped.
std::string ResolveLinks(const std::string& machinePath) {
    const std::string root = sim::core::SandboxRoot();
    fs::path path = sim::core::SandboxPathOf(machinePath);
    std::error_code error;
    for (int hop = 0; hop < kMaxLinkHops && fs::is_symlink(path, error); ++hop) {
        const fs::path target = fs::read_symlink(path, error);
        if (error)
            break;
        if (target.is_relative()) {
            path = path.parent_path() / target;
        } else if (StartsWith(target.string(), root + "/")) {
            path = target;
        } else {
            path = sim::core::SandboxPathOf(target.string());
        }
    }
    return path.lexically_normal().string();
}

// A field of /proc/mounts: blanks, line feeds and backslashes as octal escapes.
std::string MountsField(const std::string& text) {
    std::string field;
    for (const char c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\\') {
            const char digits[] = {'\\', static_cast<char>('0' + ((c >> 6) & 7)),
                                   static_cast<char>('0' + ((c >> 3) & 7)),
                                   static_cast<char>('0' + (c & 7))};
            field.append(digits, sizeof digits);
        } else {
            field += c;
        }
    }
    return field;
}

// Moves every entry of `from` into `to` (created when missing).
void MoveEntries(const std::string& from, const std::string& to) {
    std::error_code error;
    fs::create_directories(to, error);
    for (const auto& entry : fs::directory_iterator(from, error)) {
        fs::rename(entry.path(), fs::path(to) / entry.path().filename(), error);
    }
}

void RemoveEntries(const std::string& directory) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(directory, error)) {
        fs::remove_all(entry.path(), error);
    }
}

}  // namespace

MountTable& MountTable::Instance() {
    static MountTable table;
    return table;
}

void MountTable::Reset(const sim::core::Scenario& scenario) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    mounts_.clear();
    nextHidden_ = 0;
    space_.reset();
    if (scenario.Has("mount.space"))
        space_ = static_cast<uint64_t>(scenario.Number("mount.space", 0));
    spaceLeft_.clear();
    dropUnflushed_ = scenario.Get("mount.drop_unflushed", "no") == "yes";
}

// The live mount a path lies on; the last mount made on a directory is on top.
const MountTable::MountEntry* MountTable::MountHolding(const std::string& path) const {
    const std::string normal = MachineDirectory(path);
    for (auto it = mounts_.rbegin(); it != mounts_.rend(); ++it) {
        if (!it->dead && (normal == it->directory || StartsWith(normal, it->directory + "/")))
            return &*it;
    }
    return nullptr;
}

size_t MountTable::Reserve(const std::string& path, size_t bytes) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const MountEntry* mount = space_ ? MountHolding(path) : nullptr;
    if (mount == nullptr)
        return bytes;
    const auto left = spaceLeft_.try_emplace(mount->volume, *space_).first;
    const size_t fits = static_cast<size_t>(std::min<uint64_t>(bytes, left->second));
    left->second -= fits;
    return fits;
}

void MountTable::Flush(const std::string& path) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!dropUnflushed_)
        return;  // everything reaches the volume at the latest on detach anyway
    if (!path.empty()) {
        if (const MountEntry* mount = MountHolding(path))
            WriteBack(*mount);
        return;
    }
    for (const MountEntry& mount : mounts_) {
        if (!mount.dead)
            WriteBack(mount);
    }
}

void MountTable::WriteBack(const MountEntry& mount) {
    const bool written = FatImage(mount.volume).ReplaceWith(mount.sandboxDirectory);
    sim::core::Trace("flush", {sim::core::TraceText("dir", mount.directory),
                               sim::core::TraceNumber("written", written ? 1 : 0)});
}

int MountTable::Mount(const std::string& link, const std::string& directory) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const std::string node = ResolveLinks(link);
    const std::optional<std::string> volume = DiskRegistry::Instance().VolumeBehind(node);
    const std::string root = sim::core::SandboxRoot();
    const std::string device = StartsWith(node, root + "/") ? node.substr(root.size()) : link;
    // A vfat volume mounted without permission options takes the mounting
    // process's mask: its root directory shows 0777 less the mask.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const int status = volume ? Attach(*volume, device, directory, false) : kMountFailed;
    std::vector<sim::core::TraceField> fields = {
        sim::core::TraceText("device", link),
        sim::core::TraceText("dir", MachineDirectory(directory)),
        sim::core::TraceNumber("exit", status), sim::core::TraceText("umask", OctalMode(mask))};
    if (status == 0) {
        const mode_t mode = 0777 & ~mask;
        std::error_code error;
        fs::permissions(sim::core::SandboxPathOf(MachineDirectory(directory)),
                        static_cast<fs::perms>(mode), error);
        fields.push_back(sim::core::TraceText("mode", OctalMode(mode)));
    }
    sim::core::Trace("mount", fields);
    return status;
}

int MountTable::Attach(const std::string& volume, const std::string& device,
                       const std::string& directory, bool automounted) {
    const std::string machineDirectory = MachineDirectory(directory);
    const std::string sandboxDirectory = sim::core::SandboxPathOf(machineDirectory);
    std::error_code error;
    if (automounted)
        fs::create_directories(sandboxDirectory, error);
    if (!fs::is_directory(sandboxDirectory, error) || VolumeMounted(volume))
        return kMountFailed;
    for (const MountEntry& mount : mounts_) {
        if (mount.directory == machineDirectory && !mount.dead)
            return kMountFailed;
    }
    MountEntry mount;
    mount.device = device;
    mount.directory = machineDirectory;
    mount.sandboxDirectory = sandboxDirectory;
    mount.coveredPermissions = fs::status(sandboxDirectory, error).permissions();
    mount.volume = volume;
    mount.automounted = automounted;
    // The mount point's own entries are hidden while the volume covers them.
    if (!fs::is_empty(sandboxDirectory, error)) {
        mount.hidden =
            sim::core::SandboxRoot() + "/.mounts/hidden-" + std::to_string(nextHidden_++);
        MoveEntries(sandboxDirectory, mount.hidden);
    }
    if (!FatImage(volume).ExtractTo(sandboxDirectory)) {
        RemoveEntries(sandboxDirectory);
        if (!mount.hidden.empty())
            MoveEntries(mount.hidden, sandboxDirectory);
        return kMountFailed;
    }
    mounts_.push_back(mount);
    return 0;
}

int MountTable::Umount(const std::string& directory) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const std::string machineDirectory = MachineDirectory(directory);
    for (auto it = mounts_.rbegin(); it != mounts_.rend(); ++it) {
        if (it->directory != machineDirectory)
            continue;
        const MountEntry mount = *it;
        mounts_.erase(std::next(it).base());
        // A dead mount has no disk left to write to; the name it held is free.
        Release(mount, mount.dead ? "umount of a dead mount" : "umount", !mount.dead);
        if (mount.dead)
            DiskRegistry::Instance().ReleaseName(mount.device);
        return 0;
    }
    // The kernel looks the path up before it asks whether it is a mount point.
    std::error_code ignored;
    return fs::exists(sim::core::SandboxPathOf(machineDirectory), ignored) ? EINVAL : ENOENT;
}

void MountTable::AutomountControllerVolumes() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    for (const VisibleVolume& visible : DiskRegistry::Instance().VisibleControllerVolumes()) {
        if (VolumeMounted(visible.volume))
            continue;
        const std::string directory = "/vmfs/volumes/" + visible.label;
        const int status = Attach(visible.volume, "automount", directory, true);
        sim::core::Trace("mount", {sim::core::TraceText("device", "automount"),
                                   sim::core::TraceText("dir", directory),
                                   sim::core::TraceNumber("exit", status)});
    }
}

std::string MountTable::MountsText() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    std::string text;
    for (const MountEntry& mount : mounts_) {
        text += MountsField(mount.device) + " " + MountsField(mount.directory) +
                " vfat rw,relatime,shortname=mixed 0 0\n";
    }
    return text;
}

void MountTable::VolumeGone(const std::string& volume) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    for (auto it = mounts_.begin(); it != mounts_.end();) {
        if (it->volume != volume || it->dead) {
            ++it;
            continue;
        }
        if (!it->automounted) {
            Kill(*it++);
            continue;
        }
        const MountEntry mount = *it;
        it = mounts_.erase(it);
        Release(mount, "disk removed", true);
    }
}

// The kernel keeps a mount whose disk went away until somebody unmounts it;
// without a flush the volume lost what the cache still held.
void MountTable::Kill(MountEntry& mount) {
    const bool written =
        !dropUnflushed_ && FatImage(mount.volume).ReplaceWith(mount.sandboxDirectory);
    RemoveEntries(mount.sandboxDirectory);
    mount.dead = true;
    DiskRegistry::Instance().HoldName(mount.device);
    sim::core::Trace(
        "mount",
        {sim::core::TraceText("device", mount.device), sim::core::TraceText("dir", mount.directory),
         sim::core::TraceText("state", "dead"),
         sim::core::TraceText(
             "why", dropUnflushed_ ? "disk removed, unflushed writes dropped" : "disk removed"),
         sim::core::TraceNumber("written", written ? 1 : 0)});
}

void MountTable::Release(const MountEntry& mount, const std::string& why, bool writeBack) {
    const bool written = writeBack && FatImage(mount.volume).ReplaceWith(mount.sandboxDirectory);
    RemoveEntries(mount.sandboxDirectory);
    if (!mount.hidden.empty())
        MoveEntries(mount.hidden, mount.sandboxDirectory);
    std::error_code error;
    fs::permissions(mount.sandboxDirectory, mount.coveredPermissions, error);
    if (mount.automounted)
        fs::remove_all(mount.sandboxDirectory, error);
    // A volume too small for what was written keeps what fitted, as a real
    // disk would after its writes failed.
    sim::core::Trace(
        "umount", {sim::core::TraceText("dir", mount.directory), sim::core::TraceText("why", why),
                   sim::core::TraceNumber("written", written ? 1 : 0)});
}

bool MountTable::VolumeMounted(const std::string& volume) const {
    for (const MountEntry& mount : mounts_) {
        if (mount.volume == volume && !mount.dead)
            return true;
    }
    return false;
}

}  // namespace sim::devices
