#pragma once
// Mounted FAT volumes. Mounting copies the volume's files into the sandbox
// directory of the mount point, where the program under test reads and
// writes them with ordinary file calls; unmounting (or the disk going away)
// writes the directory back into the volume. A mount whose disk went away
// stays, dead, until it is unmounted, as the kernel keeps it: listed, empty,
// and another mount may go on top of it.

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim_core.h"

namespace sim::devices {

class MountTable {
public:
    static MountTable& Instance();
    // Forgets every mount; mount.space and mount.drop_unflushed as the scenario says.
    void Reset(const sim::core::Scenario& scenario);

    // mount of the device reached through the machine path `link` (a node or
    // a symbolic link to one) on the machine directory `directory`: the
    // command's exit status, 32 when it fails as mount(8) does.
    int Mount(const std::string& link, const std::string& directory);
    // 0; EINVAL when nothing is mounted there, ENOENT when there is no such directory.
    int Umount(const std::string& directory);
    // What an ESXi host does by itself: each visible controller volume not yet
    // mounted gets /vmfs/volumes/LABEL.
    void AutomountControllerVolumes();
    // The disk holding the volume is gone: its mounts are written back and
    // left dead (an ESXi automount disappears with its directory).
    void VolumeGone(const std::string& volume);

    // The mounts as /proc/mounts lists them: "DEVICE DIR vfat OPTIONS 0 0" a line.
    std::string MountsText();

    // Of `bytes` written to the machine file `path`, how many the volume
    // mounted there still takes (all when no mount.space limits it).
    size_t Reserve(const std::string& path, size_t bytes);
    // fsync or sync (empty path): with mount.drop_unflushed, the volume gets
    // what its mount directory holds now, which a detach without umount keeps.
    void Flush(const std::string& path);

    // The mounts, as `mount` lines of a kept machine.
    void SaveState(sim::core::StateLines& lines);
    void LoadState(const sim::core::StateLines& lines);

private:
    struct MountEntry {
        std::string device;     // machine path of the node mounted, or "automount"
        std::string directory;  // machine path, no trailing "/"
        std::string sandboxDirectory;
        std::string volume;
        std::string hidden;  // where the directory's own entries wait meanwhile
        std::filesystem::perms coveredPermissions =
            std::filesystem::perms::none;  // the mount point's own
        bool automounted = false;
        bool dead = false;  // its disk went away
    };

    int Attach(const std::string& volume, const std::string& device, const std::string& directory,
               bool automounted);
    void Release(const MountEntry& mount, const std::string& why, bool writeBack);
    void Kill(MountEntry& mount);
    const MountEntry* MountHolding(const std::string& path) const;
    void WriteBack(const MountEntry& mount);
    bool VolumeMounted(const std::string& volume) const;

    std::recursive_mutex mutex_;
    std::vector<MountEntry> mounts_;
    int nextHidden_ = 0;
    std::optional<uint64_t> space_;              // bytes each volume takes in writes
    std::map<std::string, uint64_t> spaceLeft_;  // per volume, once written to
    bool dropUnflushed_ = false;
};

}  // namespace sim::devices
