#include "disk_registry.h"

#include <fcntl.h>

#include <cctype>
#include <filesystem>
#include <stdexcept>

#include "disk_description.h"
#include "disk_partition_table.h"
#include "fat_image.h"
#include "sim_core.h"

namespace sim::devices {
namespace fs = std::filesystem;
namespace {

// sda .. sdz, sdaa .. sdzz, sdaaa ..., the kernel's naming of SCSI disks.
std::string DiskName(int index) {
    std::string letters;
    for (int value = index + 1; value > 0; value = (value - 1) / 26) {
        letters.insert(letters.begin(), static_cast<char>('a' + (value - 1) % 26));
    }
    return "sd" + letters;
}

// The disk's name in a node's path: sda of /dev/sda and of /dev/sda1.
std::string NameOfNode(const std::string& node) {
    std::string name = fs::path(node).filename().string();
    while (!name.empty() && std::isdigit(static_cast<unsigned char>(name.back())))
        name.pop_back();
    return name;
}

bool IsDiskName(const std::string& name) {
    return name.size() > 2 && name.rfind("sd", 0) == 0 &&
           name.find_first_not_of("abcdefghijklmnopqrstuvwxyz", 2) == std::string::npos;
}

std::string Normal(const std::string& path) {
    return fs::path(path).lexically_normal().string();
}

// A disk node is the volume file itself under another name, so reads, the
// image's later changes and the file's size are those of the volume.
void LinkNode(const std::string& volume, const std::string& node) {
    std::error_code error;
    fs::remove(node, error);
    fs::create_hard_link(volume, node, error);
    if (error)
        fs::create_symlink(volume, node, error);
}

void MakeEmptyFile(const std::string& path) {
    const int fd = sim::core::RealOpen(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0)
        sim::core::RealClose(fd);
}

}  // namespace

DiskRegistry& DiskRegistry::Instance() {
    static DiskRegistry registry;
    return registry;
}

void DiskRegistry::Reset(const sim::core::Scenario& scenario) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    disks_.clear();
    heldNames_.clear();
    nextKey_ = 1;
    nextSystemHost_ = 0;
    nextHotplugHost_ = kFirstHotplugHost;
    const std::string prefix = "disk ";
    for (const auto& [key, value] : scenario.WithPrefix(prefix)) {
        const DiskDescription description =
            DiskDescription::Parse(key.substr(prefix.size()), value);
        const std::string volume =
            sim::core::SandboxRoot() + "/.disks/" + description.name + ".img";
        std::error_code ignored;
        fs::create_directories(fs::path(volume).parent_path(), ignored);
        std::string error;
        if (!description.image.empty()) {
            fs::copy_file(description.image, volume, fs::copy_options::overwrite_existing, ignored);
            if (ignored) {
                throw std::runtime_error("disk " + description.name + ": cannot copy the image " +
                                         description.image + ": " + ignored.message());
            }
        } else if (!FatImage::Create(volume, description.bytes, description.label,
                                     description.fatType, &error)) {
            throw std::runtime_error("disk " + description.name + ": " + error);
        }
        DiskSetup setup;
        setup.wantedName = description.name;
        setup.label = description.label;
        setup.volume = volume;
        setup.volumeBytes = fs::file_size(volume, ignored);
        setup.fatType = description.fatType;
        setup.partitioned = description.partitioned;
        setup.emulated = description.emulated;
        setup.address = description.address;
        Add(setup);
    }
}

int DiskRegistry::Add(const DiskSetup& setup) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Disk disk;
    disk.key = nextKey_++;
    disk.setup = setup;
    if (setup.address) {
        disk.address = *setup.address;
    } else if (setup.emulated) {
        // A hot-plugged USB disk gets a new host adapter number every time.
        disk.address.host = nextHotplugHost_++;
        disk.address.lun = setup.controllerUsb ? 1 : 0;
    } else {
        disk.address.host = nextSystemHost_++;
    }
    disk.pendingRescans = setup.rescansBeforeVisible;
    // A USB disk needs the usb_storage driver, which the kernel loads on demand.
    disk.blocked = setup.emulated && !sim::core::ModuleLoadable("usb_storage");
    disks_.push_back(disk);
    if (disk.blocked) {
        sim::core::Trace("disk", {sim::core::TraceText("event", "no driver"),
                                  sim::core::TraceText("module", "usb_storage")});
    } else if (Due(disk)) {
        Appear(disks_.back());
    }
    return disk.key;
}

void DiskRegistry::Remove(int key) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    for (auto it = disks_.begin(); it != disks_.end(); ++it) {
        if (it->key != key)
            continue;
        if (it->generic >= 0)
            Disappear(*it);
        disks_.erase(it);
        return;
    }
}

void DiskRegistry::Rescan() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    for (Disk& disk : disks_) {
        if (disk.generic >= 0 || disk.blocked)
            continue;
        --disk.pendingRescans;
        if (Due(disk))
            Appear(disk);
    }
}

bool DiskRegistry::Due(const Disk& disk) const {
    return disk.pendingRescans <= 0 && sim::core::NowMs() >= disk.setup.visibleAtMs;
}

void DiskRegistry::ClockAdvanced() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    for (Disk& disk : disks_) {
        if (disk.generic < 0 && !disk.blocked && Due(disk))
            Appear(disk);
    }
}

void DiskRegistry::WriteWholeDisk(const Disk& disk) const {
    WritePartitionedDisk(sim::core::SandboxPathOf("/dev/" + disk.name), disk.setup.volume,
                         disk.setup.fatType);
}

void DiskRegistry::HoldName(const std::string& node) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    heldNames_.insert(NameOfNode(node));
}

void DiskRegistry::ReleaseName(const std::string& node) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const auto held = heldNames_.find(NameOfNode(node));
    if (held != heldNames_.end())
        heldNames_.erase(held);
}

void DiskRegistry::RefreshWholeDisk(const std::string& machinePath) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const std::string path = Normal(machinePath);
    for (const Disk& disk : disks_) {
        if (disk.generic >= 0 && disk.setup.partitioned && path == "/dev/" + disk.name)
            WriteWholeDisk(disk);
    }
}

std::optional<DiskNode> DiskRegistry::NodeAt(const std::string& machinePath) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const std::string path = Normal(machinePath);
    for (const Disk& disk : disks_) {
        if (disk.generic < 0)
            continue;
        const std::string whole = "/dev/" + disk.name;
        const bool generic =
            path == "/dev/sg" + std::to_string(disk.generic) && sim::core::ModuleInKernel("sg");
        if (generic || path == whole || (disk.setup.partitioned && path == whole + "1")) {
            return DiskNode{disk.address, disk.setup.emulated, generic};
        }
    }
    return std::nullopt;
}

std::optional<std::string> DiskRegistry::VolumeBehind(const std::string& sandboxPath) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const std::string path = Normal(sandboxPath);
    for (const Disk& disk : disks_) {
        if (disk.generic >= 0 && Normal(sim::core::SandboxPathOf(VolumeNode(disk))) == path) {
            return disk.setup.volume;
        }
    }
    return std::nullopt;
}

bool DiskRegistry::ControllerUsbPresent() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    for (const Disk& disk : disks_) {
        if (disk.setup.controllerUsb)
            return true;
    }
    return false;
}

std::vector<VisibleVolume> DiskRegistry::VisibleControllerVolumes() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    std::vector<VisibleVolume> volumes;
    for (const Disk& disk : disks_) {
        if (disk.setup.controllerUsb && disk.generic >= 0) {
            volumes.push_back({disk.setup.label, disk.setup.volume});
        }
    }
    return volumes;
}

std::string DiskRegistry::VolumeNode(const Disk& disk) const {
    return "/dev/" + disk.name + (disk.setup.partitioned ? "1" : "");
}

void DiskRegistry::Appear(Disk& disk) {
    auto taken = [this](auto matches) {
        for (const Disk& other : disks_) {
            if (other.generic >= 0 && matches(other))
                return true;
        }
        return false;
    };
    const auto nameTaken = [this, &taken](const std::string& name) {
        return heldNames_.count(name) > 0 ||
               taken([&name](const Disk& other) { return other.name == name; });
    };
    int generic = 0;
    while (taken([generic](const Disk& other) { return other.generic == generic; }))
        ++generic;
    std::string name = disk.setup.wantedName;
    if (!IsDiskName(name) || nameTaken(name)) {
        int index = 0;
        while (nameTaken(DiskName(index)))
            ++index;
        name = DiskName(index);
    }
    disk.generic = generic;
    disk.name = name;

    const std::string genericNode = "/dev/sg" + std::to_string(generic);
    std::error_code ignored;
    fs::create_directories(sim::core::SandboxPathOf("/dev"), ignored);
    MakeGenericNodes(disk);
    if (disk.setup.partitioned)
        WriteWholeDisk(disk);
    LinkNode(disk.setup.volume, sim::core::SandboxPathOf(VolumeNode(disk)));
    sim::core::Trace("disk", {sim::core::TraceText("event", "appeared"),
                              sim::core::TraceText("device", "/dev/" + name),
                              sim::core::TraceText("generic", genericNode),
                              sim::core::TraceText("volume", VolumeNode(disk)),
                              sim::core::TraceNumber("host", disk.address.host),
                              sim::core::TraceNumber("channel", disk.address.channel),
                              sim::core::TraceNumber("id", disk.address.id),
                              sim::core::TraceNumber("lun", disk.address.lun),
                              sim::core::TraceNumber("emulated", disk.setup.emulated ? 1 : 0)});
}

void DiskRegistry::Disappear(Disk& disk) {
    const std::string genericNode = "/dev/sg" + std::to_string(disk.generic);
    std::error_code ignored;
    RemoveGenericNodes(disk);
    fs::remove(sim::core::SandboxPathOf("/dev/" + disk.name), ignored);
    if (disk.setup.partitioned)
        fs::remove(sim::core::SandboxPathOf(VolumeNode(disk)), ignored);
    sim::core::Trace("disk", {sim::core::TraceText("event", "removed"),
                              sim::core::TraceText("device", "/dev/" + disk.name),
                              sim::core::TraceText("generic", genericNode)});
    disk.generic = -1;
    disk.name.clear();
}

void DiskRegistry::MakeGenericNodes(const Disk& disk) {
    if (!sim::core::ModuleInKernel("sg"))
        return;
    const std::string generic = "sg" + std::to_string(disk.generic);
    std::error_code ignored;
    fs::create_directories(sim::core::SandboxPathOf("/sys/class/scsi_generic/" + generic), ignored);
    MakeEmptyFile(sim::core::SandboxPathOf("/dev/" + generic));
}

void DiskRegistry::RemoveGenericNodes(const Disk& disk) {
    const std::string generic = "sg" + std::to_string(disk.generic);
    std::error_code ignored;
    fs::remove_all(sim::core::SandboxPathOf("/sys/class/scsi_generic/" + generic), ignored);
    fs::remove(sim::core::SandboxPathOf("/dev/" + generic), ignored);
}

void DiskRegistry::GenericDriverChanged() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const bool loaded = sim::core::ModuleInKernel("sg");
    const std::string classDirectory = sim::core::SandboxPathOf("/sys/class/scsi_generic");
    std::error_code ignored;
    if (loaded)
        fs::create_directories(classDirectory, ignored);
    for (const Disk& disk : disks_) {
        if (disk.generic < 0)
            continue;
        if (loaded)
            MakeGenericNodes(disk);
        else
            RemoveGenericNodes(disk);
    }
    if (!loaded)
        fs::remove_all(classDirectory, ignored);
}

}  // namespace sim::devices
