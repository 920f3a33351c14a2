#include "COstrelPartitionManagement.h"

#include <gtest/gtest.h>
#include <kortest/PlantedFiles.h>
#include <simmachine/SimMachine.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "PartitionTestBench.h"

namespace {

using cataloguetest::ExpectFailure;
using kortest::CountLinesWith;
using namespace partitiontest;

TEST_F(PartitionTest, LivesThroughCreateAttachMountDetachDeleteAmongSeveralDisks) {
    // A system disk, an ordinary disk also labelled "SECUPD" and a USB disk
    // with another label: the controller's disk comes fourth, /dev/sdd.
    Start(
        "disk sda = label=ROOT\n"
        "disk sdb = label=SECUPD\n"
        "disk sdc = label=DATA emulated=yes\n");
    m_partition->CleanupExistingDynamicPartitions();
    m_partition->CreateDynamicPartition(1146880);
    m_partition->AttachDynamicPartition();
    std::string destination;
    m_partition->GetDynamicPartitionVolumeName(destination);
    EXPECT_EQ(destination, "/tmp/SECUPD");
    m_partition->DettachDynamicPartition();
    m_partition->DeleteDynamicPartition();

    // An empty map at first: whatever a killed run left mounted is looked for instead.
    EXPECT_EQ(Commands(), Lines({kRemoveLinks, kSgCheck, kRescan, kMkdir,
                                 "ln -sf /dev/sdd /dev/secostupd-SECUPD", kMount, kRemoveDirectory,
                                 kRemoveLinks}));
    EXPECT_EQ(Requests(), Lines({kIndexInfo, kIndexInfo,
                                 "CreateDynamicPartition: 30 a1 20 34 12 23 00 53 45 43 55 50 44",
                                 kIndexInfo, "DynamicPartitionInfo: 30 a1 24 34 12 00 00",
                                 "AttachDynamicPartition: 30 a1 21 34 12 01 00 00 00 00 01",
                                 Detach("00 01"), Delete("00 01")}));
    // One pause before the label search, one before the mount.
    EXPECT_EQ(Sleeps(), std::vector<uint64_t>({2000, 2000}));
    const std::vector<sim::Event> unmounts = sim::TraceOf("umount");
    ASSERT_EQ(unmounts.size(), 2u);
    EXPECT_EQ(unmounts[0].fields.at("error"), "ENOENT") << "nothing was left mounted";
    EXPECT_EQ(unmounts[1].fields.at("dir"), "/tmp/SECUPD");
    EXPECT_FALSE(sim::HasUnknownCommands());
    EXPECT_TRUE(sim::ControllerPartitions().empty());

    m_partition.reset();
    EXPECT_EQ(Requests().size(), 8u) << "the destructor found nothing left to clean";
}

TEST_F(PartitionTest, RequestsTheSizeInWhole32KiBUnits) {
    struct Case {
        long long bytes;
        std::string units;  // positions 6 and 7, low byte first
    };
    const std::vector<Case> cases = {{1, "01 00"},
                                     {32768, "01 00"},
                                     {32769, "02 00"},
                                     {1146880, "23 00"},
                                     {2147450880, "ff ff"}};
    for (const Case& row : cases) {
        SCOPED_TRACE(row.bytes);
        Start();
        m_partition->CreateDynamicPartition(row.bytes);
        EXPECT_EQ(Requests().at(1),
                  "CreateDynamicPartition: 30 a1 20 34 12 " + row.units + " 53 45 43 55 50 44");
    }
    // Sizes the 16-bit request cannot carry are refused once the map is read,
    // before the create is sent.
    for (long long bytes : {2147450881LL, -1LL}) {
        SCOPED_TRACE(bytes);
        Start();
        ExpectFailure([this, bytes] { m_partition->CreateDynamicPartition(bytes); }, 22);
        EXPECT_EQ(Requests(), Lines({kIndexInfo}));
    }
}

// The partition the create made is found by the bits that changed in the
// map, asked for its name by number, and used only when the controller names
// it "SECUPD"; whatever it made is deleted at the end all the same.
TEST_F(PartitionTest, UsesANewPartitionOnlyWhenTheControllerNamesItSecupd) {
    struct Case {
        const char* name;
        std::string scenario;
        int createCode;  // 0 for none
        int attachCode;  // 0 for none, -1: no attach tried
        Lines requests;  // including the destructor's
        std::vector<int> left;
    };
    const std::string create = "CreateDynamicPartition: 30 a1 20 34 12 23 00 53 45 43 55 50 44";
    const auto info = [](const char* number) {
        return "DynamicPartitionInfo: 30 a1 24 34 12 00 " + std::string(number);
    };
    const auto attach = [](const char* handle) {
        return "AttachDynamicPartition: 30 a1 21 34 12 01 00 00 00 " + std::string(handle);
    };
    const std::vector<Case> cases = {
        {"partitions 0 to 2 exist, an old SECUPD among them: the new one is 3",
         "controller.partition.0 = SECUPD\ncontroller.partition.1 = OLD\n"
         "controller.partition.2 = OLD\n",
         0,
         0,
         {kIndexInfo, create, kIndexInfo, info("03"), attach("00 08"), Detach("00 08"),
          Delete("00 08")},
         {0, 1, 2}},
        {"partition 8, in the map's high byte",
         "controller.partition.0 = A\ncontroller.partition.1 = B\n"
         "controller.partition.2 = C\ncontroller.partition.3 = D\ncontroller.partition.4 = E\n"
         "controller.partition.5 = F\ncontroller.partition.6 = G\ncontroller.partition.7 = H\n",
         0,
         0,
         {kIndexInfo, create, kIndexInfo, info("08"), attach("01 00"), Detach("01 00"),
          Delete("01 00")},
         {0, 1, 2, 3, 4, 5, 6, 7}},
        {"named otherwise: the attach goes out without a handle and is refused",
         "controller.partition.0 = OLD\ncontroller.created_name = OTHER\n",
         0,
         27,
         {kIndexInfo, create, kIndexInfo, info("01"), attach("00 00"), Detach("00 02"),
          Delete("00 02")},
         {0}},
        {"a name that is SECUPD cut short",
         "controller.created_name = SECUP\n",
         0,
         27,
         {kIndexInfo, create, kIndexInfo, info("00"), attach("00 00"), Detach("00 01"),
          Delete("00 01")},
         {}},
        {"a name in other letters",
         "controller.created_name = secupd\n",
         0,
         27,
         {kIndexInfo, create, kIndexInfo, info("00"), attach("00 00"), Detach("00 01"),
          Delete("00 01")},
         {}},
        {"the name cannot be read",
         "controller.cc.DynamicPartitionInfo = 0xC9\n",
         31,
         -1,
         {kIndexInfo, create, kIndexInfo, info("00"), Detach("00 01"), Delete("00 01")},
         {}},
        {"the name is answered short",
         "controller.response.DynamicPartitionInfo = 31 A1 00 00 00\n",
         31,
         -1,
         {kIndexInfo, create, kIndexInfo, info("00"), Detach("00 01"), Delete("00 01")},
         {}},
        {"the map is unchanged after the create",
         "controller.partition.4 = OLD\ncontroller.response.CreateDynamicPartition = 31 A1 00\n",
         22,
         -1,
         {kIndexInfo, create, kIndexInfo},
         {4}},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        Start(row.scenario);
        const auto createPartition = [this] { m_partition->CreateDynamicPartition(1146880); };
        if (row.createCode != 0)
            ExpectFailure(createPartition, row.createCode);
        else
            createPartition();
        const auto attachPartition = [this] { m_partition->AttachDynamicPartition(); };
        if (row.attachCode > 0)
            ExpectFailure(attachPartition, row.attachCode);
        else if (row.attachCode == 0)
            attachPartition();
        EXPECT_NO_THROW(m_partition.reset());
        EXPECT_EQ(Requests(), row.requests);
        EXPECT_EQ(sim::ControllerPartitions(), row.left);
    }
}

TEST_F(PartitionTest, CleansUpWhatTheControllerStillHas) {
    struct Case {
        const char* name;
        std::string scenario;
        int code;        // of the failure, 0 for none
        Lines requests;  // including the destructor's
    };
    const std::vector<Case> cases = {
        {"nothing left", "", 0, {kIndexInfo}},
        {"partitions 0 and 3, whatever their names",
         "controller.partition.0 = OLD\ncontroller.partition.3 = SECUPD\n",
         0,
         {kIndexInfo, Detach("00 01"), Delete("00 01"), Detach("00 08"), Delete("00 08")}},
        {"partition 15 from the map's high byte",
         "controller.partition.15 = OLD\n",
         0,
         {kIndexInfo, Detach("80 00"), Delete("80 00")}},
        {"a detach answered 6 is a detach",
         "controller.partition.2 = OLD\ncontroller.cc.DetachDynamicPartition = 6\n",
         0,
         {kIndexInfo, Detach("00 04"), Delete("00 04")}},
        {"a refused delete clears the handle all the same",
         "controller.partition.1 = OLD\ncontroller.cc.DeleteDynamicPartition = 0xC9\n",
         44,
         {kIndexInfo, Detach("00 02"), Delete("00 02")}},
        {"after a refused detach the destructor still deletes",
         "controller.partition.1 = OLD\ncontroller.cc.DetachDynamicPartition = 0xC9\n",
         23,
         {kIndexInfo, Detach("00 02"), Detach("00 02"), Delete("00 02")}},
        {"a map that cannot be read",
         "controller.cc.DynamicPartitionIndexInfo = 0xC9\n",
         31,
         {kIndexInfo}},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        Start(row.scenario);
        const auto cleanup = [this] { m_partition->CleanupExistingDynamicPartitions(); };
        if (row.code != 0)
            ExpectFailure(cleanup, row.code);
        else
            cleanup();
        EXPECT_NO_THROW(m_partition.reset());
        EXPECT_EQ(Requests(), row.requests);
    }
}

TEST_F(PartitionTest, RecoversFromWhatACrashedRunLeftMounted) {
    struct Case {
        const char* name;
        std::string scenario;
        Lines requests;
        Lines commands;
        std::size_t sleeps;
        bool stillMounted;
    };
    // The controller dropped the partition by itself: its map is empty and no
    // detach unmounts the volume; the links are stale.
    const std::string dropped =
        "disk sdq = label=OLDVOL\n"
        "link /dev/secostupd-SECUPD = /dev/sdq\n"
        "link /dev/secostupd-OLD = /dev/sdr\n"
        "mount /tmp/SECUPD = /dev/secostupd-SECUPD\n";
    const std::vector<Case> cases = {
        {"its partition still attached",
         "controller.partition.0 = SECUPD\n"
         "controller.attached = 0\n"
         "link /dev/secostupd-SECUPD = /dev/sda\n"
         "mount /tmp/SECUPD = /dev/secostupd-SECUPD\n",
         {kIndexInfo, Detach("00 01"), Delete("00 01")},
         {kRemoveDirectory, kRemoveLinks},
         0,
         false},
        {"its partition gone", dropped, {kIndexInfo}, {kRemoveLinks}, 0, false},
        {"its partition gone, the volume busy at first",
         dropped + "umount_failures = 2\n",
         {kIndexInfo},
         {kRemoveLinks},
         2,
         false},
        // Tried as often as at a detach.
        {"its partition gone, the volume busy for good",
         dropped + "umount_failures = 10\n",
         {kIndexInfo},
         {kRemoveLinks},
         10,
         true},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        Start(row.scenario);
        m_log.Take();
        m_partition->CleanupExistingDynamicPartitions();
        EXPECT_EQ(Requests(), row.requests);
        EXPECT_EQ(Commands(), row.commands);
        EXPECT_EQ(Sleeps(), std::vector<uint64_t>(row.sleeps, 2000));
        EXPECT_EQ(CountLinesWith(m_log.Take(), "ERROR /tmp/SECUPD is still mounted"),
                  row.stillMounted ? 1u : 0u);
        for (const char* link : {"/dev/secostupd-SECUPD", "/dev/secostupd-OLD"})
            EXPECT_FALSE(
                std::filesystem::exists(std::filesystem::symlink_status(sim::SandboxPath(link))))
                << link;
        EXPECT_TRUE(sim::ControllerPartitions().empty());
        if (row.stillMounted)
            continue;

        // The fixed mount point and link are free again for this run.
        m_partition->CreateDynamicPartition(1146880);
        m_partition->AttachDynamicPartition();
        std::string destination;
        m_partition->GetDynamicPartitionVolumeName(destination);
        EXPECT_EQ(destination, "/tmp/SECUPD");
    }
}

TEST_F(PartitionTest, AttachFailsWhenTheDiskCannotBeFoundOrMounted) {
    struct Case {
        const char* name;
        std::string scenario;
        int code;
        Lines commands;
        std::size_t sleeps;
    };
    const Lines oneFailedMount =
        Joined({{kSgCheck, kRescan, kMkdir, "ln -sf /dev/sda /dev/secostupd-SECUPD"},
                Lines(10, kMount),
                {"rm -rf /tmp/SECUPD", "rm -f /dev/secostupd-SECUPD"}});
    const Lines oneFruitlessSearch = Joined({{kSgCheck}, Lines(10, kRescan)});
    const std::vector<Case> cases = {
        {"the controller refuses", "controller.cc.AttachDynamicPartition = 0xC9\n", 27, {}, 0},
        {"every mount fails", "command " + kMount + " => exit 32\n", 37,
         Repeated(oneFailedMount, 5), std::size_t{5} * 11},
        {"the disk never shows", "controller.disk_visible_after = 1000\n", 37,
         Repeated(oneFruitlessSearch, 5), std::size_t{5} * 10},
        {"no USB storage driver", "module usb_storage = unloadable\n", 37,
         Repeated(oneFruitlessSearch, 5), std::size_t{5} * 10},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        Start(row.scenario);
        m_log.Take();
        m_partition->CreateDynamicPartition(1146880);
        ExpectFailure([this] { m_partition->AttachDynamicPartition(); }, row.code);
        EXPECT_EQ(Commands(), row.commands);
        EXPECT_EQ(Sleeps(), std::vector<uint64_t>(row.sleeps, 2000));
        std::string destination;
        ExpectFailure([&] { m_partition->GetDynamicPartitionVolumeName(destination); }, 27);
        const Lines log = m_log.Take();
        const std::size_t retries = row.code == 37 ? 5 : 0;
        EXPECT_EQ(CountLinesWith(log, "DEBUG MountDynPartition did not succeed. Retrying...."),
                  retries);
    }
}

// Anyone may put an entry named /tmp/SECUPD into /tmp first. Whatever is not
// root's own directory is removed without following a link and the directory
// made afresh, or the attach fails at once (37); the volume is mounted with
// umask 077, so that its directory is closed to others.
TEST_F(PartitionTest, MountsOnlyOnRootsOwnDirectoryClosedToOthers) {
    const std::string victim = "file /etc/victim/keep = kept\n";
    std::string tooDeep = "dir /tmp/SECUPD";
    for (int level = 0; level < 17; ++level)
        tooDeep += "/d";
    tooDeep += "\nowner /tmp/SECUPD = 1000 0755\n";
    const Lines mounted = {kSgCheck, kRescan, kMkdir, "ln -sf /dev/sda /dev/secostupd-SECUPD",
                           kMount};
    const std::string replaced = "WARN /tmp/SECUPD was ";
    const std::string afresh = ": removed, and made afresh as root's own directory.";
    struct Case {
        const char* name;
        std::string scenario;
        bool fifo;           // a FIFO planted as well
        std::string logged;  // the WARN or ERROR line, if any
        int code;            // of the attach, 0 for none
    };
    const std::vector<Case> cases = {
        {"nothing there", "", false, "", 0},
        {"root's own directory", "dir /tmp/SECUPD/old\n", false, "", 0},
        {"root's own, closed to others", "dir /tmp/SECUPD\nowner /tmp/SECUPD = 0 0700\n", false, "",
         0},
        {"a link", victim + "link /tmp/SECUPD = /etc/victim\n", false,
         replaced + "a symbolic link" + afresh, 0},
        {"a file", "file /tmp/SECUPD = planted\n", false, replaced + "a regular file" + afresh, 0},
        {"a FIFO", "", true, replaced + "a FIFO" + afresh, 0},
        {"another user's directory with a link inside",
         victim + "dir /tmp/SECUPD/sub\nlink /tmp/SECUPD/sub/evil = /etc/victim\n"
                  "link /tmp/SECUPD/top = /etc/victim/keep\nowner /tmp/SECUPD = 1000 0755\n",
         false, replaced + "a directory of user 1000" + afresh, 0},
        {"root's own directory that others may write",
         "dir /tmp/SECUPD/sub\nowner /tmp/SECUPD = 0 1777\n", false,
         replaced + "a directory others may write (mode 1777)" + afresh, 0},
        {"root's own directory its group may write",
         "dir /tmp/SECUPD\nowner /tmp/SECUPD = 0 0770\n", false,
         replaced + "a directory others may write (mode 0770)" + afresh, 0},
        {"another user's tree too deep to remove", tooDeep, false,
         "ERROR /tmp/SECUPD is a directory of user 1000, not root's own directory, and cannot be "
         "made so: not mounting there.",
         37},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        Start(row.scenario);
        if (row.fifo) {
            ASSERT_EQ(mkfifo(sim::SandboxPath("/tmp/SECUPD").c_str(), 0666), 0);
        }
        m_log.Take();
        m_partition->CreateDynamicPartition(1146880);
        Mark();
        const kortest::HangGuard guard;
        if (row.code != 0) {
            ExpectFailure([this] { m_partition->AttachDynamicPartition(); }, row.code);
            // At once: the mount point would not become root's own by waiting.
            EXPECT_EQ(Commands(), Lines({kSgCheck, kRescan}));
            EXPECT_EQ(Sleeps(), std::vector<uint64_t>{2000});
        } else {
            m_partition->AttachDynamicPartition();
            EXPECT_EQ(Commands(), mounted);
            const sim::Event mount = sim::TraceOf("mount").back();
            EXPECT_EQ(mount.fields.at("umask"), "0077");
            EXPECT_EQ(mount.fields.at("mode"), "0700");
        }
        const Lines log = m_log.Take();
        Lines notable;
        for (const std::string& line : log)
            if (line.find("/tmp/SECUPD ") != std::string::npos &&
                (line.rfind("WARN", 0) == 0 || line.rfind("ERROR", 0) == 0))
                notable.push_back(line);
        EXPECT_EQ(notable, row.logged.empty() ? Lines{} : Lines{row.logged});
        if (row.scenario.find(victim) == 0) {
            std::ifstream kept(sim::SandboxPath("/etc/victim/keep"));
            EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "kept\n");
        }
    }
}

TEST_F(PartitionTest, WithoutTheSgDriverEveryDiskIsACandidate) {
    struct Case {
        const char* scenario;
        std::string link;
    };
    // An ordinary disk labelled "SECUPD" at /dev/sda; the controller's is /dev/sdb.
    const std::vector<Case> cases = {
        {"disk sda = label=SECUPD\n", "ln -sf /dev/sdb /dev/secostupd-SECUPD"},
        {"disk sda = label=SECUPD\nmodule sg = loadable\n",
         "ln -sf /dev/sda /dev/secostupd-SECUPD"},
        // A check that prints nothing reads as 0: the driver counts as loaded.
        {"disk sda = label=SECUPD\ncommand lsmod | grep -w sg >/dev/null;echo $? => exit 1\n",
         "ln -sf /dev/sdb /dev/secostupd-SECUPD"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.scenario);
        Start(row.scenario);
        m_partition->CreateDynamicPartition(1146880);
        m_partition->AttachDynamicPartition();
        EXPECT_EQ(Commands(), Lines({kSgCheck, kRescan, kMkdir, row.link, kMount}));
    }
}

// Off ESXi and ESX 4, and without a volume name, there is nothing to do; the
// operations still say that they ran.
TEST_F(PartitionTest, OperationsWithNothingToDoRunNothingAndLogEnteringAndLeaving) {
    struct Case {
        const char* name;
        std::function<void(PartitionFramework::COstrelPartitionManagement&)> call;
        Lines logged;
    };
    const std::string prefix = "DEBUG COstrelPartitionManagement::";
    const std::vector<Case> cases = {
        {"getDevicePath",
         [](auto& partition) {
             std::string none;
             EXPECT_EQ(partition.getDevicePath(none), "");
         },
         {prefix + "getDevicePath() Entering.", "ERROR getDevicePath: Volume name is empty ",
          prefix + "getDevicePath() Leaving."}},
        {"CleanMountedPartition",
         [](auto& partition) { partition.CleanMountedPartition(); },
         {prefix + "CleanMountedPartition() Entering.", "DEBUG Leaving CleanMountedPartition"}},
        {"ESX_RemoveEntries",
         [](auto& partition) { partition.ESX_RemoveEntries(); },
         {prefix + "ESX_RemoveEntries() Entering.", "DEBUG done",
          prefix + "ESX_RemoveEntries() Leaving."}},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        Start();
        m_log.Take();
        row.call(*m_partition);
        EXPECT_TRUE(Commands().empty());
        EXPECT_TRUE(Sleeps().empty());
        // In this order, and each once; the platform's recognition may log too.
        Lines logged;
        for (const std::string& line : m_log.Take())
            if (std::find(row.logged.begin(), row.logged.end(), line) != row.logged.end())
                logged.push_back(line);
        EXPECT_EQ(logged, row.logged);
    }
}

TEST_F(PartitionTest, CommandOutputIsReadUpTo512Bytes) {
    const struct {
        std::string scenario;
        std::string output;
    } rows[] = {
        {"command list => exit 0 output " + std::string(600, 'x') + "\n", std::string(512, 'x')},
        {"command list => exit 0 output 1\n", "1\n"},
        {"command list => exit 3\n", ""},
    };
    for (const auto& row : rows) {
        Start(row.scenario);
        EXPECT_EQ(PartitionFramework::executeCmd("list"), row.output) << row.scenario;
    }
}

TEST_F(PartitionTest, FindsADiskThatShowsUpLate) {
    // Searched 2, 4 and 6 seconds after the attach.
    Start("controller.disk_visible_after_ms = 5000\n");
    m_partition->CreateDynamicPartition(1146880);
    m_partition->AttachDynamicPartition();
    EXPECT_EQ(Commands(), Lines({kSgCheck, kRescan, kRescan, kRescan, kMkdir,
                                 "ln -sf /dev/sda /dev/secostupd-SECUPD", kMount}));
    EXPECT_EQ(CountLinesWith(m_log.Take(), "DEBUG Re-Trying to find device "), 2u);
}

TEST_F(PartitionTest, DetachUnmountsWithTenAttemptsAndKeepsABusyVolumeIntact) {
    struct Case {
        int failures;
        bool removesDirectory;  // only once nothing is mounted there any more
        std::size_t sleeps;
        std::size_t unmountFailures;  // as logged by the detach
    };
    const std::vector<Case> cases = {{0, true, 0, 0}, {3, true, 3, 0}, {10, false, 10, 1}};
    for (const Case& row : cases) {
        SCOPED_TRACE(row.failures);
        Start("umount_failures = " + std::to_string(row.failures) + "\n");
        m_partition->CreateDynamicPartition(1146880);
        m_partition->AttachDynamicPartition();
        Mark();
        m_log.Take();
        m_partition->DettachDynamicPartition();
        const Lines unmountCommands =
            row.removesDirectory ? Lines{kRemoveDirectory, kRemoveLinks} : Lines{kRemoveLinks};
        EXPECT_EQ(Commands(), unmountCommands);
        EXPECT_EQ(Sleeps(), std::vector<uint64_t>(row.sleeps, 2000));
        EXPECT_EQ(CountLinesWith(m_log.Take(), "ERROR Failed to unmount SECUPD device."),
                  row.unmountFailures);
        EXPECT_EQ(Requests(), Lines{Detach("00 01")});
    }
}

}  // namespace
