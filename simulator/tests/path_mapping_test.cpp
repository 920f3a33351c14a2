// Paths of the simulated machine live in the sandbox; everything else is the
// real file system.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <kortest/TemporaryDirectory.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "simmachine/SimMachine.h"

namespace {

std::string UniqueName() {
    return "simcore-" + std::to_string(getpid()) + "-probe";
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

// Through /proc/self/root the path is not the machine's, so this sees the real system.
bool ExistsOnRealSystem(const std::string& path) {
    struct stat info;
    return ::lstat(("/proc/self/root" + path).c_str(), &info) == 0;
}

TEST(PathMapping, WriteToEtcLandsInTheSandboxOnly) {
    sim::Reset();
    const std::string machinePath = "/etc/" + UniqueName();
    {
        std::ofstream out(machinePath);
        ASSERT_TRUE(out.good());
        out << "written by the test\n";
    }
    ASSERT_EQ(mkdir(("/etc/" + UniqueName() + ".d").c_str(), 0755), 0);
    EXPECT_EQ(ReadAll(sim::SandboxPath(machinePath)), "written by the test\n");
    EXPECT_EQ(ReadAll("/etc/../etc//" + UniqueName()), "written by the test\n");
    EXPECT_EQ(sim::SandboxPath(machinePath).rfind(sim::SandboxRoot() + "/etc/", 0), 0u);
    EXPECT_EQ(sim::SandboxRoot().rfind("/tmp/", 0), 0u);
    EXPECT_FALSE(ExistsOnRealSystem(machinePath));
    EXPECT_FALSE(ExistsOnRealSystem(machinePath + ".d"));
    EXPECT_TRUE(ExistsOnRealSystem("/etc/passwd"));
}

TEST(PathMapping, WhichPathsBelongToTheMachine) {
    sim::Reset();
    const struct {
        std::string path;
        bool simulated;
    } cases[] = {
        {"/etc/simcore-x", true},
        {"/dev/sdq", true},
        {"/dev/ipmi/0", true},
        {"/sys/class/scsi_generic/sg9/x", true},
        {"/lib/udev/rules.d/x", true},
        {"/lib/modules/x", true},
        {"/run/udev/x", true},
        {"/VERSION", true},
        {"/VER_INFO", true},
        {"/wmb-version", true},
        {"/tmp/SECUPD/payload/f", true},
        {"/opt/tessel/x", true},
        {"/scratch/x", true},
        {"/vmfs/volumes/x", true},
        {"/sbin/x", true},
        {"/usr/sbin/x", true},
        {"/run/vaduzivorirezoz.lock", true},
        {"/var/run/vaduzivorirezoz.lock", true},
        {"/proc/mounts", true},
        {"/proc/self/mounts", true},
        {"/run/simcore-x", false},
        {"/proc/self/simcore-x", false},
        {"/sys/class/scsi_genericx/x", false},
        {"/lib/simcore-x", false},
        {"/tmp/SECUPDX", false},
        {"/etcx/x", false},
        {"/usr/simcore-x", false},
        {"/dev/pts/simcore-x", false},
        {"/dev/shm/simcore-x", false},
    };
    for (const auto& c : cases) {
        // Made at the sandbox location, the file shows at the machine path
        // exactly when the path belongs to the machine.
        const std::filesystem::path sandboxPath = sim::SandboxPath(c.path);
        std::filesystem::create_directories(sandboxPath.parent_path());
        std::ofstream(sandboxPath) << "x";
        EXPECT_EQ(access(c.path.c_str(), F_OK) == 0, c.simulated) << c.path;
    }
}

// /proc/mounts lists what is mounted on the machine now, and nothing else.
TEST(PathMapping, ProcMountsShowsTheMachinesMounts) {
    sim::Reset("disk sdb = label=DATA\nlink /dev/data = /dev/sdb\nmount /tmp/SECUPD = /dev/data\n");
    EXPECT_EQ(ReadAll("/proc/mounts"),
              "/dev/sdb /tmp/SECUPD vfat rw,relatime,shortname=mixed 0 0\n");
    ASSERT_EQ(umount("/tmp/SECUPD"), 0);
    EXPECT_EQ(ReadAll("/proc/self/mounts"), "");
    EXPECT_LT(open("/proc/mounts", O_WRONLY), 0);
}

TEST(PathMapping, EveryProcessKeepsTheRealCharacterDevices) {
    sim::Reset();
    const int fd = open("/dev/null", O_WRONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(write(fd, "x", 1), 1);
    close(fd);
    EXPECT_EQ(access(sim::SandboxPath("/dev/null").c_str(), F_OK), -1);
}

TEST(PathMapping, LinksPointIntoTheSandboxAndReadBackAsMachinePaths) {
    sim::Reset("file /dev/sdc1 = the disk");
    ASSERT_EQ(symlink("/dev/sdc1", "/dev/secostupd-TEST"), 0);
    char target[PATH_MAX] = {};
    ASSERT_GT(readlink("/dev/secostupd-TEST", target, sizeof target - 1), 0);
    EXPECT_STREQ(target, "/dev/sdc1");
    char* resolved = realpath("/dev/secostupd-TEST", nullptr);
    ASSERT_NE(resolved, nullptr);
    EXPECT_STREQ(resolved, "/dev/sdc1");
    std::free(resolved);
    EXPECT_EQ(ReadAll("/dev/secostupd-TEST"), "the disk\n");
    ASSERT_EQ(rename("/dev/sdc1", "/dev/sdc2"), 0);
    EXPECT_EQ(ReadAll("/dev/sdc2"), "the disk\n");
    EXPECT_EQ(unlink("/dev/secostupd-TEST"), 0);
    EXPECT_EQ(access("/dev/sdc2", R_OK), 0);
}

TEST(PathMapping, TraceRecordsFileOperationsButNotFailedDeviceProbes) {
    sim::Reset("file /etc/redhat-release = Red Hat");
    std::ifstream("/etc/redhat-release").get();
    struct stat info;
    EXPECT_NE(stat("/dev/sdzz", &info), 0);
    EXPECT_LT(open("/dev/sdzz", O_RDONLY | O_NONBLOCK), 0);
    EXPECT_EQ(fopen("/etc/missing", "r"), nullptr);
    EXPECT_NE(mkdir("/etc/missing/sub", 0755), 0);
    const std::vector<sim::Event> events = sim::TraceOf("file");
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].fields.at("op"), "fopen");
    EXPECT_EQ(events[0].fields.at("path"), "/etc/redhat-release");
    EXPECT_EQ(events[1].fields.at("op"), "mkdir");
    EXPECT_EQ(events[1].fields.at("path"), "/etc/missing/sub");
    EXPECT_EQ(events[1].fields.at("error"), "ENOENT");
}

TEST(PathMapping, RelativePathsAreNeverMapped) {
    sim::Reset();
    kortest::TemporaryDirectory scratch;
    scratch.Enter();
    ASSERT_EQ(mkdir("etc", 0755), 0);
    std::ofstream("etc/local") << "here";
    EXPECT_EQ(ReadAll(scratch.Join("etc/local")), "here");
    EXPECT_EQ(access(sim::SandboxPath("/etc/local").c_str(), F_OK), -1);
}

}  // namespace
