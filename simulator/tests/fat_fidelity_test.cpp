// SCSI disks serving real mkfs.vfat volumes: FAT12, FAT16 and FAT32 read back
// with their labels through the disk nodes, the SCSI ioctls of the sg and sd
// nodes, the partitioned layout and a disk that shows up late.

#include <gtest/gtest.h>
#include <scsi/scsi.h>
#include <scsi/sg.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstddef>
#include <cstdlib>
#include <fstream>

#include <kortest/TemporaryDirectory.h>
#include "ipmi_test_client.h"
#include "simmachine/SimMachine.h"

namespace {

struct Address {
    int host, channel, id, lun;
};

uint32_t Little(const std::vector<uint8_t>& bytes, size_t at, size_t count) {
    uint32_t value = 0;
    for (size_t i = 0; i < count; ++i)
        value |= uint32_t{bytes.at(at + i)} << (8 * i);
    return value;
}

std::vector<uint8_t> ReadAt(int fd, uint64_t offset, size_t count) {
    std::vector<uint8_t> bytes(count);
    if (lseek(fd, static_cast<off_t>(offset), SEEK_SET) < 0)
        return {};
    const ssize_t got = read(fd, bytes.data(), count);
    bytes.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return bytes;
}

struct Volume {
    std::string type;   // "FAT12", "FAT16", "FAT32" from the boot sector
    std::string label;  // of the root directory's label entry, blanks trimmed
};

// Just enough of a FAT reader: the boot sector's type text and the label
// entry in the root directory (FAT32: in its first cluster).
Volume ReadVolume(const std::string& node) {
    Volume volume;
    const int fd = ::open(node.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return volume;
    const std::vector<uint8_t> boot = ReadAt(fd, 0, 512);
    if (boot.size() == 512 && boot[510] == 0x55 && boot[511] == 0xaa && boot[0x0d] != 0) {
        const uint32_t sector = Little(boot, 0x0b, 2);
        const uint32_t reserved = Little(boot, 0x0e, 2);
        const uint32_t fats = boot.at(0x10);
        const uint32_t rootEntries = Little(boot, 0x11, 2);
        const uint32_t fatSectors16 = Little(boot, 0x16, 2);
        const bool fat32 = fatSectors16 == 0;
        volume.type =
            std::string(boot.begin() + (fat32 ? 0x52 : 0x36), boot.begin() + (fat32 ? 0x57 : 0x3b));
        if (volume.type.rfind("FAT", 0) != 0)
            volume.type.clear();
        if (volume.type.empty()) {
            ::close(fd);
            return volume;
        }
        const uint32_t fatSectors = fat32 ? Little(boot, 0x24, 4) : fatSectors16;
        uint64_t root = uint64_t{reserved + fats * fatSectors} * sector;
        size_t bytes = size_t{rootEntries} * 32;
        if (fat32) {
            const uint32_t rootDirectoryEntries = (rootEntries * 32 + sector - 1) / sector;
            root += (uint64_t{rootDirectoryEntries} +
                     (uint64_t{Little(boot, 0x2c, 4)} - 2) * boot.at(0x0d)) *
                    sector;
            bytes = size_t{boot.at(0x0d)} * sector;
        }
        const std::vector<uint8_t> entries = ReadAt(fd, root, bytes);
        for (size_t at = 0; at + 32 <= entries.size() && entries[at] != 0; at += 32) {
            if (entries[at + 11] == 0x08) {
                const auto entry = entries.begin() + static_cast<std::ptrdiff_t>(at);
                volume.label = std::string(entry, entry + 11);
                volume.label.erase(volume.label.find_last_not_of(' ') + 1);
            }
        }
    }
    ::close(fd);
    return volume;
}

bool Exists(const std::string& machinePath) {
    struct stat info;
    return ::stat(machinePath.c_str(), &info) == 0;
}

TEST(FatFidelity, ServesMkfsVolumesWithTheirLabels) {
    sim::Reset(
        "disk sdb = label=TWELVE fat=12 size=1M emulated=yes\n"
        "disk sdc = label=SIXTEEN fat=16 size=8M\n"
        "disk sdd = label=THIRTYTWO fat=32 size=40M\n"
        "disk sde = label=PARTED fat=16 size=8M layout=partitioned\n");
    struct Case {
        std::string node;
        Volume expected;
    };
    const std::vector<Case> cases = {
        {"/dev/sdb", {"FAT12", "TWELVE"}},    {"/dev/sdc", {"FAT16", "SIXTEEN"}},
        {"/dev/sdd", {"FAT32", "THIRTYTWO"}}, {"/dev/sde", {"", ""}},  // only a partition table
        {"/dev/sde1", {"FAT16", "PARTED"}},
    };
    for (const Case& c : cases) {
        const Volume volume = ReadVolume(c.node);
        EXPECT_EQ(volume.type, c.expected.type) << c.node;
        EXPECT_EQ(volume.label, c.expected.label) << c.node;
    }
    const int fd = ::open("/dev/sde", O_RDONLY);
    const std::vector<uint8_t> table = ReadAt(fd, 0x1be, 16);
    ::close(fd);
    ASSERT_EQ(table.size(), 16u);
    EXPECT_EQ(Little(table, 8, 4), 2048u);  // the partition starts at 1 MiB
}

// Distinct non-zero fields, so that a byte-order slip in the IDLUN word shows.
TEST(FatFidelity, NodesAnswerTheScsiQueriesAsTheKernel) {
    sim::Reset(
        "disk sda = label=SYS fat=12 size=1M\n"
        "disk sdb = label=USB fat=12 size=1M emulated=yes\n"
        "disk sdc = label=SATA fat=12 size=1M address=3:1:2:4\n"
        "controller.partition.0 = SECUPD\n");
    simtest::IpmiClient client;
    ASSERT_EQ(client.Exchange("30 a1 10 00 00 3c"), "31 a1 00 34 12");
    ASSERT_EQ(client.Exchange("30 a1 21 34 12 01 00 00 00 00 01"), "31 a1 00");
    struct Case {
        std::string node;
        int emulated;
        bool scsiId;  // SG_GET_SCSI_ID answered (sg nodes only)
        Address address;
    };
    const std::vector<Case> cases = {
        {"/dev/sg0", 0, true, {0, 0, 0, 0}}, {"/dev/sda", 0, false, {0, 0, 0, 0}},
        {"/dev/sg1", 1, true, {6, 0, 0, 0}}, {"/dev/sdb", 1, false, {6, 0, 0, 0}},
        {"/dev/sg2", 0, true, {3, 1, 2, 4}}, {"/dev/sdc", 0, false, {3, 1, 2, 4}},
        {"/dev/sg3", 1, true, {7, 0, 0, 1}}, {"/dev/sdd", 1, false, {7, 0, 0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.node);
        if (c.scsiId) {
            EXPECT_TRUE(Exists("/sys/class/scsi_generic/" + c.node.substr(5)));
        }
        const int fd = ::open(c.node.c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        int emulated = -1;
        EXPECT_EQ(ioctl(fd, SG_EMULATED_HOST, &emulated), 0);
        EXPECT_EQ(emulated, c.emulated);
        sg_scsi_id id{};
        errno = 0;
        EXPECT_EQ(ioctl(fd, SG_GET_SCSI_ID, &id), c.scsiId ? 0 : -1);
        if (c.scsiId) {
            EXPECT_EQ(
                std::vector<int>({id.host_no, id.channel, id.scsi_id, id.lun}),
                std::vector<int>({c.address.host, c.address.channel, c.address.id, c.address.lun}));
            EXPECT_EQ(id.scsi_type, 0);
        } else {
            EXPECT_EQ(errno, ENOTTY);
        }
        uint32_t idlun[2] = {0xffffffff, 0};
        EXPECT_EQ(ioctl(fd, SCSI_IOCTL_GET_IDLUN, idlun), 0);
        EXPECT_EQ(idlun[0], static_cast<uint32_t>(c.address.id | c.address.lun << 8 |
                                                  c.address.channel << 16 | c.address.host << 24));
        int bus = -1;
        EXPECT_EQ(ioctl(fd, SCSI_IOCTL_GET_BUS_NUMBER, &bus), 0);
        EXPECT_EQ(bus, c.address.host);
        ::close(fd);
    }
}

TEST(FatFidelity, AttachedPartitionShowsUpAfterTheRescans) {
    sim::Reset("controller.disk_visible_after = 2\ncontroller.partition.2 = SECUPD\n");
    simtest::IpmiClient client;
    ASSERT_EQ(client.Exchange("30 a1 10 00 00 3c"), "31 a1 00 34 12");
    ASSERT_EQ(client.Exchange("30 a1 21 34 12 01 00 00 00 00 04"), "31 a1 00");
    const char rescan[] = "/sbin/blockdev --report /dev/sd* > /dev/null 2>&1";
    for (int run = 0; run < 2; ++run) {
        EXPECT_FALSE(Exists("/dev/sda")) << run;
        EXPECT_EQ(std::system(rescan), 0);
    }
    EXPECT_TRUE(Exists("/dev/sg0"));
    EXPECT_EQ(ReadVolume("/dev/sda").label, "SECUPD");
    ASSERT_EQ(client.Exchange("30 a1 22 34 12 00 00 00 00 00 04"), "31 a1 00");
    EXPECT_FALSE(Exists("/dev/sda"));
    EXPECT_FALSE(Exists("/sys/class/scsi_generic/sg0"));
}

// The sg driver makes the generic nodes and its class directory, and they
// follow it in and out; a USB disk without a usb_storage driver never shows.
TEST(FatFidelity, DriversGateTheDeviceNodes) {
    const std::string attach = "30 a1 21 34 12 01 00 00 00 00 01";
    const struct {
        std::string scenario;
        bool disk;
        bool generic;
    } cases[] = {
        {"", true, true},
        {"module sg = loadable", true, false},
        {"module sg = builtin", true, true},
        {"module usb_storage = loaded", true, true},
        {"module usb_storage = builtin", true, true},
        {"module usb_storage = unloadable", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scenario);
        sim::Reset(c.scenario + "\ncontroller.partition.0 = SECUPD\n");
        simtest::IpmiClient client;
        ASSERT_EQ(client.Exchange("30 a1 10 00 00 3c"), "31 a1 00 34 12");
        ASSERT_EQ(client.Exchange(attach), "31 a1 00");
        EXPECT_EQ(Exists("/dev/sda"), c.disk);
        EXPECT_EQ(Exists("/dev/sg0"), c.generic);
        EXPECT_EQ(Exists("/sys/class/scsi_generic/sg0"), c.generic);
        const int fd = ::open("/dev/sg0", O_RDONLY | O_NONBLOCK);
        EXPECT_EQ(fd >= 0, c.generic);
        if (fd >= 0)
            ::close(fd);
        EXPECT_EQ(std::system("lsusb | grep -i 0624:0250 > /dev/null"), 0);
    }
    sim::Reset("module sg = loadable\ncontroller.partition.0 = SECUPD\n");
    simtest::IpmiClient client;
    ASSERT_EQ(client.Exchange("30 a1 10 00 00 3c"), "31 a1 00 34 12");
    ASSERT_EQ(client.Exchange(attach), "31 a1 00");
    EXPECT_FALSE(Exists("/sys/class/scsi_generic"));
    for (const bool load : {true, false}) {
        char program[] = "modprobe";
        char remove[] = "-r";
        char module[] = "sg";
        char* loading[] = {program, module, nullptr};
        char* unloading[] = {program, remove, module, nullptr};
        pid_t child = 0;
        int status = -1;
        ASSERT_EQ(
            posix_spawnp(&child, program, nullptr, nullptr, load ? loading : unloading, nullptr),
            0);
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(Exists("/dev/sg0"), load);
        EXPECT_EQ(Exists("/sys/class/scsi_generic/sg0"), load);
    }
}

std::vector<uint8_t> ReadNode(const std::string& node, uint64_t offset, size_t count) {
    const int fd = ::open(node.c_str(), O_RDONLY);
    std::vector<uint8_t> bytes = ReadAt(fd, offset, count);
    ::close(fd);
    return bytes;
}

// A crafted volume given by path is the disk's content byte for byte; on a
// partitioned disk it starts where the partition table says, also after a
// mount changed it.
TEST(FatFidelity, ImagesByPathAndPartitionsAtTheirOffset) {
    kortest::TemporaryDirectory temp;
    const std::string image = temp.Join("crafted.img");
    std::vector<uint8_t> crafted(size_t{128} * 1024, 0);
    const std::string boot =
        "\xeb\x3c\x90"
        "CRAFTED";
    std::copy(boot.begin(), boot.end(), crafted.begin());
    crafted[510] = 0x55;
    crafted[511] = 0xaa;
    crafted[70000] = 0x42;
    {
        std::ofstream out(image, std::ios::binary);
        out.write(reinterpret_cast<const char*>(crafted.data()),
                  static_cast<std::streamsize>(crafted.size()));
    }
    sim::Reset("disk sdb = image=" + image + "\ndisk sdc = image=" + image +
               " layout=partitioned\ndisk sdd = fat=12 size=1M layout=partitioned\n"
               "controller.image = " +
               image + "\ncontroller.partition.0 = SECUPD\n");
    const uint64_t partition = uint64_t{2048} * 512;
    EXPECT_EQ(ReadNode("/dev/sdb", 0, crafted.size() + 1), crafted);
    EXPECT_EQ(ReadNode("/dev/sdc1", 0, crafted.size() + 1), crafted);
    EXPECT_EQ(ReadNode("/dev/sdc", partition, crafted.size() + 1), crafted);
    const std::vector<uint8_t> table = ReadNode("/dev/sdc", 0x1be, 16);
    ASSERT_EQ(table.size(), 16u);
    EXPECT_EQ(Little(table, 8, 4), 2048u);
    EXPECT_EQ(Little(table, 12, 4), crafted.size() / 512);

    ASSERT_EQ(std::system("mkdir -p /tmp/SECUPD"), 0);
    ASSERT_EQ(std::system("mount -n -t vfat -oshortname=mixed,rw /dev/sdd1 /tmp/SECUPD"), 0);
    { std::ofstream("/tmp/SECUPD/new.txt") << "written through the mount"; }
    ASSERT_EQ(::umount("/tmp/SECUPD"), 0);
    const std::vector<uint8_t> volume = ReadNode("/dev/sdd1", 0, size_t{2} * 1024 * 1024);
    ASSERT_EQ(volume.size(), 1024u * 1024u);
    EXPECT_EQ(ReadNode("/dev/sdd", partition, volume.size() + 1), volume);
    EXPECT_EQ(ReadVolume("/dev/sdd").label, "");

    simtest::IpmiClient client;
    ASSERT_EQ(client.Exchange("30 a1 10 00 00 3c"), "31 a1 00 34 12");
    ASSERT_EQ(client.Exchange("30 a1 21 34 12 01 00 00 00 00 01"), "31 a1 00");
    EXPECT_EQ(ReadNode("/dev/sda", 0, crafted.size() + 1), crafted);
}

// The attached disk can also take virtual time to show up: it appears once
// the sleeps since the attach add up to the delay.
TEST(FatFidelity, AttachedPartitionShowsUpAfterTheDelay) {
    sim::Reset("controller.disk_visible_after_ms = 3000\ncontroller.partition.2 = SECUPD\n");
    simtest::IpmiClient client;
    ASSERT_EQ(client.Exchange("30 a1 10 00 00 3c"), "31 a1 00 34 12");
    sleep(1);  // before the attach: does not count
    ASSERT_EQ(client.Exchange("30 a1 21 34 12 01 00 00 00 00 04"), "31 a1 00");
    for (const unsigned wait : {2u, 0u}) {
        EXPECT_FALSE(Exists("/dev/sda")) << wait;
        sleep(wait);
    }
    usleep(999999);
    EXPECT_FALSE(Exists("/dev/sda"));
    usleep(1);
    EXPECT_TRUE(Exists("/dev/sda"));
    EXPECT_EQ(ReadVolume("/dev/sda").label, "SECUPD");
}

}  // namespace
