#pragma once
// The SCSI disks of the simulated machine: the controller's attached
// partition and the scenario's extra disks. A visible disk has an entry in
// /sys/class/scsi_generic, a /dev/sgN node and a /dev/sdX node (and /dev/sdX1
// when partitioned) in the sandbox, the disk nodes being links to the disk's
// FAT volume file so that reads of the node read the volume (a partitioned
// disk's whole-disk node holds a partition table and a copy of the volume).

#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "scsi_address.h"
#include "sim_core.h"

namespace sim::devices {

// What an open of one of a disk's nodes talks to.
struct DiskNode {
    ScsiAddress address;
    bool emulated = false;
    bool generic = false;  // the /dev/sgN node
};

struct DiskSetup {
    std::string wantedName;  // "sdb" to be /dev/sdb, otherwise the lowest free name
    std::string label;
    std::string volume;  // the FAT volume file
    uint64_t volumeBytes = 0;
    int fatType = 0;
    bool partitioned = false;
    bool emulated = true;
    int rescansBeforeVisible = 0;  // blockdev runs before the nodes appear
    uint64_t visibleAtMs = 0;      // virtual time before which they do not either
    bool controllerUsb = false;    // behind the controller's virtual USB device
    // Unset: a system disk takes the next low host number, a hot-plugged
    // (emulated) one the next host from kFirstHotplugHost, the controller's
    // disk at LUN 1 (its virtual CD drive holds LUN 0).
    std::optional<ScsiAddress> address;
};

constexpr int kFirstHotplugHost = 6;

// A visible disk's volume as the machine sees it.
struct VisibleVolume {
    std::string label;
    std::string volume;  // the FAT volume file
};

class DiskRegistry {
public:
    static DiskRegistry& Instance();

    // Forgets every disk and adds the scenario's "disk NAME = ..." disks.
    void Reset(const sim::core::Scenario& scenario);

    // Returns the key for Remove.
    int Add(const DiskSetup& setup);
    // The nodes disappear; the volume file stays.
    void Remove(int key);
    // One "blockdev --report" over the SCSI disks.
    void Rescan();
    // The sg driver came or went: the generic nodes of the visible disks and
    // its class directory follow it.
    void GenericDriverChanged();
    // The virtual clock advanced: disks whose time has come appear.
    void ClockAdvanced();
    // A dead mount still holds the name of the disk that went away (sda of
    // /dev/sda1, say): the kernel gives the next disk another one until
    // that mount is gone.
    void HoldName(const std::string& node);
    void ReleaseName(const std::string& node);

    std::optional<DiskNode> NodeAt(const std::string& machinePath);
    // The whole-disk node of a partitioned disk holds a copy of its volume at
    // the partition's offset, made afresh before each open of that node, so
    // that it shows what mounts wrote meanwhile.
    void RefreshWholeDisk(const std::string& machinePath);
    // The FAT volume file reached through a sandbox path: the volume node of a
    // visible disk (its /dev/sdX, or /dev/sdX1 when partitioned).
    std::optional<std::string> VolumeBehind(const std::string& sandboxPath);
    // Whether the controller's virtual USB device is plugged in (a partition
    // is attached, visible yet or not).
    bool ControllerUsbPresent();
    std::vector<VisibleVolume> VisibleControllerVolumes();

    // The disks, as `disk.` lines of a kept machine (their nodes and volume
    // files live in the sandbox already).
    void SaveState(sim::core::StateLines& lines);
    void LoadState(const sim::core::StateLines& lines);

private:
    struct Disk {
        int key = 0;
        DiskSetup setup;
        ScsiAddress address;
        int pendingRescans = 0;
        bool blocked = false;  // a USB disk without a usb_storage driver never shows up
        int generic = -1;      // N of /dev/sgN once visible
        std::string name;      // sdX once visible
    };

    bool Due(const Disk& disk) const;
    void Appear(Disk& disk);
    void Disappear(Disk& disk);
    void MakeGenericNodes(const Disk& disk);
    void WriteWholeDisk(const Disk& disk) const;
    void RemoveGenericNodes(const Disk& disk);
    std::string VolumeNode(const Disk& disk) const;

    std::recursive_mutex mutex_;
    std::vector<Disk> disks_;
    std::multiset<std::string> heldNames_;
    int nextKey_ = 1;
    int nextSystemHost_ = 0;
    int nextHotplugHost_ = kFirstHotplugHost;
};

}  // namespace sim::devices
