// The ESXi ways of the partition manager. A process of its own: the platform
// is recognised once per process, and here it must be ESXi from the start.

#include <gtest/gtest.h>
#include <simmachine/SimMachine.h>

#include <string>
#include <vector>

#include "COstrelPartitionManagement.h"
#include "PartitionTestBench.h"

namespace {

using kortest::CountLinesWith;
using namespace partitiontest;

const std::string kRescanVolumes = "esxcli storage filesystem rescan";

TEST_F(PartitionTest, OnEsxiTheHostMountsTheVolumeAndTheLibraryOnlyWaitsForIt) {
    Start("uname.sysname = VMkernel\n");
    m_partition->CreateDynamicPartition(1146880);
    m_partition->AttachDynamicPartition();
    std::string destination;
    m_partition->GetDynamicPartitionVolumeName(destination);
    EXPECT_EQ(destination, "/vmfs/volumes/SECUPD/");
    EXPECT_EQ(Commands(), Lines({kRescanVolumes, "lsusb | grep -i 0624:0250 > /dev/null",
                                 "esxcli storage filesystem automount", kRescanVolumes,
                                 "ls /vmfs/volumes/ | grep SECUPD > /dev/null"}));
    EXPECT_EQ(Sleeps(), std::vector<uint64_t>({2000}));

    Mark();
    m_log.Take();
    m_partition->DettachDynamicPartition();
    // Nothing to unmount; after the detach, rescans until the volume is gone.
    EXPECT_EQ(Commands(),
              Lines({kRescanVolumes, "ls /vmfs/volumes/ | grep SECUPD > /dev/null 2>&1"}));
    const Lines log = m_log.Take();
    EXPECT_EQ(CountLinesWith(log, "DEBUG Unmount not needed for ESXi"), 1u);
    EXPECT_EQ(CountLinesWith(log, "DEBUG SECUPD Removed"), 1u);
    EXPECT_EQ(Requests(), Lines{Detach("00 01")});
    EXPECT_FALSE(sim::HasUnknownCommands());
}

TEST_F(PartitionTest, OnEsxiAnAbsentUsbDeviceIsLookedForTenTimesWithoutPause) {
    Start(
        "uname.sysname = VMkernel\ncontroller.disk_visible_after = 1000\n"
        "command lsusb | grep -i 0624:0250 > /dev/null => exit 1\n");
    m_partition->CreateDynamicPartition(1146880);
    cataloguetest::ExpectFailure([this] { m_partition->AttachDynamicPartition(); }, 37);
    EXPECT_EQ(Commands(),
              Repeated({kRescanVolumes, "lsusb | grep -i 0624:0250 > /dev/null"}, 5 * 10));
    EXPECT_TRUE(Sleeps().empty());
}

}  // namespace
