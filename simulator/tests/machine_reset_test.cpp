// Each reset starts a machine that shares nothing with the one before.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "simmachine/SimMachine.h"

namespace {

bool RealPathExists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

TEST(MachineReset, TwoResetsShareNoState) {
    sim::Reset("rmmod_failures ipmi_si = 5\numount_failures = 3");
    const std::string firstRoot = sim::SandboxRoot();
    std::ofstream("/etc/simcore-left-behind") << "old";
    sleep(7);
    EXPECT_EQ(system("rmmod ipmi_si > /dev/null 2>&1 "), 1 << 8);
    EXPECT_EQ(umount("/tmp/SECUPD"), -1);
    EXPECT_EQ(errno, EBUSY);
    EXPECT_FALSE(sim::Trace().empty());

    sim::Reset();
    EXPECT_NE(sim::SandboxRoot(), firstRoot);
    EXPECT_FALSE(RealPathExists(firstRoot));  // the previous sandbox is gone
    EXPECT_NE(access("/etc/simcore-left-behind", F_OK), 0);
    EXPECT_EQ(sim::VirtualTimeMs(), 0u);
    EXPECT_TRUE(sim::Trace().empty());
    EXPECT_EQ(sim::TracePath(), sim::SandboxRoot() + "/trace.jsonl");
    EXPECT_EQ(system("rmmod ipmi_si > /dev/null 2>&1 "), 0);
    EXPECT_EQ(system("lsmod  | grep ipmi_si > /dev/null 2>&1 "), 1 << 8);
    EXPECT_NE(umount("/tmp/SECUPD"), 0);
    EXPECT_NE(errno, EBUSY);

    const std::vector<sim::Event> events = sim::Trace();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events[0].fields.at("seq"), "1");
}

TEST(MachineReset, DefaultSandboxLayout) {
    sim::Reset();
    for (const char* dir : {"/etc/udev/rules.d", "/lib/udev/rules.d", "/run/udev/rules.d", "/dev",
                            "/sys/class/scsi_generic"}) {
        EXPECT_EQ(access(dir, F_OK), 0) << dir;
    }
    EXPECT_EQ(access("/sbin/udevadm", X_OK), 0);
    EXPECT_EQ(access("/lib/modules/6.1.0-sim/modules.builtin", R_OK), 0);
    EXPECT_NE(access("/etc/init.d/haldaemon", F_OK), 0);

    sim::Reset(
        "uname.release = 4.18.0\nhaldaemon = running\nremove /sbin/udevadm\n"
        "executable /etc/init.d/simcore\ndir /vmfs/volumes/SECUPD");
    EXPECT_EQ(access("/lib/modules/4.18.0/modules.builtin", R_OK), 0);
    EXPECT_EQ(access("/etc/init.d/haldaemon", X_OK), 0);
    EXPECT_EQ(access("/etc/init.d/simcore", X_OK), 0);
    EXPECT_NE(access("/sbin/udevadm", F_OK), 0);
    EXPECT_EQ(access("/vmfs/volumes/SECUPD", F_OK), 0);

    // Entries of another user, or of root with another mode; a link keeps
    // its own mode, and its target is not touched.
    sim::Reset(
        "dir /tmp/SECUPD\nowner /tmp/SECUPD = 1000 1777\n"
        "file /etc/motd = hello\nlink /etc/planted = /etc/motd\nowner /etc/planted = 1001 0600");
    struct stat status {};
    ASSERT_EQ(lstat("/tmp/SECUPD", &status), 0);
    EXPECT_EQ(status.st_uid, 1000u);
    EXPECT_EQ(status.st_mode & 07777, 01777u);
    ASSERT_EQ(lstat("/etc/planted", &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode));
    EXPECT_EQ(status.st_uid, 1001u);
    ASSERT_EQ(stat("/etc/motd", &status), 0);
    EXPECT_EQ(status.st_uid, 0u);
    EXPECT_EQ(status.st_mode & 07777, 0644u);
}

TEST(MachineReset, HereDocumentsKeepTheirLines) {
    sim::Reset(
        "file /etc/SuSE-release <<END\nSUSE Linux Enterprise Server 15\n  VERSION = 15\nEND\n"
        "file /etc/motd = hello  world");
    std::ifstream release("/etc/SuSE-release");
    std::string content((std::istreambuf_iterator<char>(release)), {});
    EXPECT_EQ(content, "SUSE Linux Enterprise Server 15\n  VERSION = 15\n");
    std::ifstream motd("/etc/motd");
    std::string line;
    std::getline(motd, line);
    EXPECT_EQ(line, "hello  world");
}

}  // namespace
