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
    for (const char* line : {"UnmountDynPartition() Leaving.", "ESX_RemoveEntries() Entering.",
                             "ESX_RemoveEntries() Leaving.", "CleanMountedPartition() Entering."})
        EXPECT_EQ(CountLinesWith(log, std::string("DEBUG COstrelPartitionManagement::") + line), 1u)
            << line;
    EXPECT_EQ(CountLinesWith(log, "DEBUG Leaving CleanMountedPartition"), 1u);
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

TEST_F(PartitionTest, OnEsxiAVolumeThatNeverShowsIsLookedForTenTimesAPauseApart) {
    Start(
        "uname.sysname = VMkernel\n"
        "command ls /vmfs/volumes/ | grep SECUPD > /dev/null => exit 1\n");
    m_partition->CreateDynamicPartition(1146880);
    m_log.Take();
    cataloguetest::ExpectFailure([this] { m_partition->AttachDynamicPartition(); }, 37);
    EXPECT_EQ(Commands(), Repeated({kRescanVolumes, "lsusb | grep -i 0624:0250 > /dev/null",
                                    "esxcli storage filesystem automount", kRescanVolumes,
                                    "ls /vmfs/volumes/ | grep SECUPD > /dev/null"},
                                   5 * 10));
    EXPECT_EQ(Sleeps(), std::vector<uint64_t>(std::size_t{5} * 10, 2000));
    const Lines log = m_log.Take();
    EXPECT_EQ(CountLinesWith(log, "DEBUG getDevicePAth: SECUPD attached on ESXi"), 50u);
    EXPECT_EQ(CountLinesWith(log, "DEBUG getDevicePath: Device Not Found and Trying to Find again"),
              50u);
    EXPECT_EQ(CountLinesWith(log, "ERROR Could not find the device after all the retries "), 5u);
}

// After the detach the volume's name may linger; five rescans a pause apart
// at most, whether they fail or the name stays.
TEST_F(PartitionTest, OnEsxiTheCleanUpAfterTheDetachRescansFiveTimesAtMost) {
    const std::string listVolume = "ls /vmfs/volumes/ | grep SECUPD > /dev/null 2>&1";
    struct Case {
        const char* name;
        std::string scenario;
        Lines pass;  // the command lines of one pass
        std::size_t rescanFailures;
    };
    const std::vector<Case> cases = {
        {"the volume stays listed",
         "command " + listVolume + " => exit 0\n",
         {kRescanVolumes, listVolume},
         0},
        {"the rescan fails", "command " + kRescanVolumes + " => exit 1\n", {kRescanVolumes}, 5},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        Start("uname.sysname = VMkernel\n" + row.scenario);
        m_partition->CreateDynamicPartition(1146880);
        m_partition->AttachDynamicPartition();
        Mark();
        m_log.Take();
        m_partition->DettachDynamicPartition();
        EXPECT_EQ(Commands(), Repeated(row.pass, 5));
        EXPECT_EQ(Sleeps(), std::vector<uint64_t>(5, 2000));
        const Lines log = m_log.Take();
        EXPECT_EQ(
            CountLinesWith(log, "DEBUG Running Rescan command to remove stale folder name : Try"),
            5u);
        EXPECT_EQ(CountLinesWith(log, "DEBUG Rescan Failed."), row.rescanFailures);
        EXPECT_EQ(CountLinesWith(log, "DEBUG SECUPD Removed"), 0u);
        EXPECT_EQ(CountLinesWith(log, "DEBUG Leaving CleanMountedPartition"), 1u);
    }
}

}  // namespace
