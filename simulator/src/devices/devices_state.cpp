// The disks' and the mounts' part of a kept machine: the disk registry as
// `disk.KEY` lines, the mount table as `mount DIR` lines (in mount order, the
// last on top) and what each volume has left of mount.space. Their nodes,
// volume files and mount directories live in the sandbox already.

#include <sstream>

#include "disk_registry.h"
#include "mount_table.h"

namespace sim::devices {
namespace {

using sim::core::StateRecord;

const std::string kDisks = "disks";
const std::string kDisk = "disk.";
const std::string kMounts = "mounts";
const std::string kMount = "mount ";
const std::string kSpaceLeft = "space_left";

StateRecord& AddAddress(StateRecord& record, const std::string& prefix,
                        const ScsiAddress& address) {
    return record.Add(prefix + "host", address.host)
        .Add(prefix + "channel", address.channel)
        .Add(prefix + "id", address.id)
        .Add(prefix + "lun", address.lun);
}

ScsiAddress AddressOf(const StateRecord& record, const std::string& prefix) {
    return {static_cast<int>(record.Number(prefix + "host")),
            static_cast<int>(record.Number(prefix + "channel")),
            static_cast<int>(record.Number(prefix + "id")),
            static_cast<int>(record.Number(prefix + "lun"))};
}

const sim::core::Registration registration([] {
    sim::core::AddStateHandler({[](sim::core::StateLines& lines) {
                                    DiskRegistry::Instance().SaveState(lines);
                                    MountTable::Instance().SaveState(lines);
                                },
                                [](const sim::core::StateLines& lines) {
                                    DiskRegistry::Instance().LoadState(lines);
                                    MountTable::Instance().LoadState(lines);
                                }});
});

}  // namespace

void DiskRegistry::SaveState(sim::core::StateLines& lines) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    std::string held;
    for (const std::string& name : heldNames_)
        held += (held.empty() ? "" : ",") + name;
    lines.emplace_back(kDisks, StateRecord()
                                   .Add("held_names", held)
                                   .Add("next_key", nextKey_)
                                   .Add("next_system_host", nextSystemHost_)
                                   .Add("next_hotplug_host", nextHotplugHost_)
                                   .Text());
    for (const Disk& disk : disks_) {
        const DiskSetup& setup = disk.setup;
        StateRecord record;
        record.Add("name", disk.name)
            .Add("generic", disk.generic)
            .Add("wanted", setup.wantedName)
            .Add("label", setup.label)
            .Add("volume", setup.volume)
            .Add("bytes", static_cast<long long>(setup.volumeBytes))
            .Add("fat", setup.fatType)
            .Add("partitioned", setup.partitioned)
            .Add("emulated", setup.emulated)
            .Add("controller_usb", setup.controllerUsb)
            .Add("rescans", setup.rescansBeforeVisible)
            .Add("pending_rescans", disk.pendingRescans)
            .Add("visible_at_ms", static_cast<long long>(setup.visibleAtMs))
            .Add("blocked", disk.blocked)
            .Add("fixed_address", setup.address.has_value());
        AddAddress(record, "", disk.address);
        lines.emplace_back(kDisk + std::to_string(disk.key), record.Text());
    }
}

void DiskRegistry::LoadState(const sim::core::StateLines& lines) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    disks_.clear();
    heldNames_.clear();
    for (const auto& [key, value] : lines) {
        const StateRecord record = StateRecord::Of(value);
        if (key == kDisks) {
            std::istringstream held(record.Get("held_names"));
            for (std::string name; std::getline(held, name, ',');)
                heldNames_.insert(name);
            nextKey_ = static_cast<int>(record.Number("next_key"));
            nextSystemHost_ = static_cast<int>(record.Number("next_system_host"));
            nextHotplugHost_ = static_cast<int>(record.Number("next_hotplug_host"));
        } else if (key.rfind(kDisk, 0) == 0) {
            Disk disk;
            disk.key = std::atoi(key.c_str() + kDisk.size());
            disk.name = record.Get("name");
            disk.generic = static_cast<int>(record.Number("generic"));
            disk.setup.wantedName = record.Get("wanted");
            disk.setup.label = record.Get("label");
            disk.setup.volume = record.Get("volume");
            disk.setup.volumeBytes = static_cast<uint64_t>(record.Number("bytes"));
            disk.setup.fatType = static_cast<int>(record.Number("fat"));
            disk.setup.partitioned = record.Number("partitioned") != 0;
            disk.setup.emulated = record.Number("emulated") != 0;
            disk.setup.controllerUsb = record.Number("controller_usb") != 0;
            disk.setup.rescansBeforeVisible = static_cast<int>(record.Number("rescans"));
            disk.pendingRescans = static_cast<int>(record.Number("pending_rescans"));
            disk.setup.visibleAtMs = static_cast<uint64_t>(record.Number("visible_at_ms"));
            disk.blocked = record.Number("blocked") != 0;
            disk.address = AddressOf(record, "");
            if (record.Number("fixed_address") != 0)
                disk.setup.address = disk.address;
            disks_.push_back(disk);
        }
    }
}

void MountTable::SaveState(sim::core::StateLines& lines) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    lines.emplace_back(kMounts, StateRecord().Add("next_hidden", nextHidden_).Text());
    for (const MountEntry& mount : mounts_) {
        lines.emplace_back(
            kMount + mount.directory,
            StateRecord()
                .Add("device", mount.device)
                .Add("volume", mount.volume)
                .Add("hidden", mount.hidden)
                .Add("covered_mode", static_cast<long long>(mount.coveredPermissions))
                .Add("automounted", mount.automounted)
                .Add("dead", mount.dead)
                .Text());
    }
    for (const auto& [volume, left] : spaceLeft_) {
        lines.emplace_back(
            kSpaceLeft,
            StateRecord().Add("volume", volume).Add("bytes", static_cast<long long>(left)).Text());
    }
}

void MountTable::LoadState(const sim::core::StateLines& lines) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    mounts_.clear();
    spaceLeft_.clear();
    for (const auto& [key, value] : lines) {
        const StateRecord record = StateRecord::Of(value);
        if (key == kMounts) {
            nextHidden_ = static_cast<int>(record.Number("next_hidden"));
        } else if (key.rfind(kMount, 0) == 0) {
            MountEntry mount;
            mount.directory = key.substr(kMount.size());
            mount.sandboxDirectory = sim::core::SandboxPathOf(mount.directory);
            mount.device = record.Get("device");
            mount.volume = record.Get("volume");
            mount.hidden = record.Get("hidden");
            mount.coveredPermissions =
                static_cast<std::filesystem::perms>(record.Number("covered_mode"));
            mount.automounted = record.Number("automounted") != 0;
            mount.dead = record.Number("dead") != 0;
            mounts_.push_back(mount);
        } else if (key == kSpaceLeft) {
            spaceLeft_[record.Get("volume")] = static_cast<uint64_t>(record.Number("bytes"));
        }
    }
}

}  // namespace sim::devices
