#pragma once
// Mounted FAT volumes. Mounting copies the volume's files into the sandbox
// directory of the mount point, where the program under test reads and
// writes them with ordinary file calls; unmounting (or the disk going away)
// writes the directory back into the volume.

#include <mutex>
#include <string>
#include <vector>

namespace sim::devices {

class MountTable {
public:
    static MountTable& Instance();
    void Reset();

    // mount of the device reached through the machine path `link` (a node or
    // a symbolic link to one) on the machine directory `directory`: the
    // command's exit status, 32 when it fails as mount(8) does.
    int Mount(const std::string& link, const std::string& directory);
    // 0, or EINVAL when nothing is mounted there.
    int Umount(const std::string& directory);
    // What an ESXi host does by itself: each visible controller volume not yet
    // mounted gets /vmfs/volumes/LABEL.
    void AutomountControllerVolumes();
    // The disk holding the volume is gone: its mounts are written back and
    // dropped, and an automounted volume's directory disappears.
    void VolumeGone(const std::string& volume);

private:
    struct MountEntry {
        std::string directory;  // machine path, no trailing "/"
        std::string sandboxDirectory;
        std::string volume;
        std::string hidden;  // where the directory's own entries wait meanwhile
        bool automounted = false;
    };

    int Attach(const std::string& volume, const std::string& directory, bool automounted);
    void Release(const MountEntry& mount, const std::string& why);
    bool VolumeMounted(const std::string& volume) const;

    std::recursive_mutex mutex_;
    std::vector<MountEntry> mounts_;
    int nextHidden_ = 0;
};

}  // namespace sim::devices
