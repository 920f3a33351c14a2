// Programs started from an argument vector run nothing real: the machine
// emulates them from their arguments, and waitpid hands out their status.

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "simmachine/SimMachine.h"

extern char** environ;

namespace {

// As the product starts a program: posix_spawnp, then waitpid for it.
int RunProgram(std::vector<std::string> argv) {
    std::vector<char*> pointers;
    pointers.reserve(argv.size() + 1);
    for (std::string& word : argv)
        pointers.push_back(word.data());
    pointers.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawnp(&child, pointers[0], nullptr, nullptr, pointers.data(), environ) != 0)
        return -1;
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

bool Exists(const std::string& machinePath) {
    struct stat info;
    return lstat(sim::SandboxPath(machinePath).c_str(), &info) == 0;
}

TEST(Spawn, ProgramsAreEmulatedFromTheirArguments) {
    const std::string odd = "/tmp/SECUPD/notes & <draft> $(x) 'q'.txt";
    const struct {
        std::string scenario;
        std::vector<std::string> argv;
        int exitStatus;
        bool known;
        std::string commandLine;
        std::string presentPath;  // exists afterwards, when not empty
    } cases[] = {
        {"dir /tmp/SECUPD\nfile /etc/a = x",
         {"cp", "-f", "/etc/a", odd},
         0,
         true,
         "cp -f /etc/a '/tmp/SECUPD/notes & <draft> $(x) '\\''q'\\''.txt'",
         odd},
        {"",
         {"/bin/mkdir", "-p", "/tmp/SECUPD/a/b"},
         0,
         true,
         "/bin/mkdir -p /tmp/SECUPD/a/b",
         "/tmp/SECUPD/a/b"},
        {"", {"mkdir", "/tmp/SECUPD/a/b"}, 1, true, "mkdir /tmp/SECUPD/a/b", ""},
        {"",
         {"ln", "-sf", "/dev/sdb", "/dev/secostupd-1"},
         0,
         true,
         "ln -sf /dev/sdb /dev/secostupd-1",
         "/dev/secostupd-1"},
        // No shell expands the pattern: the link stays.
        {"file /dev/secostupd-1 = x",
         {"rm", "-f", "/dev/secostupd-*"},
         0,
         true,
         "rm -f '/dev/secostupd-*'",
         "/dev/secostupd-1"},
        {"", {"rm", "/etc/none"}, 1, true, "rm /etc/none", ""},
        {"", {"modprobe", "usb_storage"}, 0, true, "modprobe usb_storage", ""},
        {"module usb_storage = unloadable",
         {"/sbin/modprobe", "usb_storage"},
         1,
         true,
         "/sbin/modprobe usb_storage",
         ""},
        {"", {"sync"}, 0, true, "sync", ""},
        {"", {"umount", "/tmp/SECUPD"}, 32, true, "umount /tmp/SECUPD", ""},
        {"",
         {"mount", "-n", "-t", "vfat", "-o", "shortname=mixed,rw", "/dev/sdz", "/tmp/SECUPD"},
         32,
         true,
         "mount -n -t vfat -o shortname=mixed,rw /dev/sdz /tmp/SECUPD",
         ""},
        {"command cp /etc/a /etc/b => exit 7",
         {"cp", "/etc/a", "/etc/b"},
         7,
         true,
         "cp /etc/a /etc/b",
         ""},
        {"", {"cp", "/etc/a", "/home/elsewhere"}, 127, false, "cp /etc/a /home/elsewhere", ""},
        {"", {"reboot"}, 127, false, "reboot", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.commandLine);
        sim::Reset(c.scenario);
        EXPECT_EQ(RunProgram(c.argv), c.exitStatus);
        const std::vector<sim::Event> shells = sim::TraceOf("shell");
        ASSERT_EQ(shells.size(), 1u);
        EXPECT_EQ(shells[0].fields.at("via"), "spawn");
        EXPECT_EQ(shells[0].fields.at("command"), c.commandLine);
        EXPECT_EQ(shells[0].fields.at("known"), c.known ? "true" : "false");
        EXPECT_EQ(sim::SpawnedPrograms(), std::vector<std::vector<std::string>>{c.argv});
        EXPECT_EQ(sim::HasUnknownCommands(), !c.known);
        if (!c.presentPath.empty()) {
            EXPECT_TRUE(Exists(c.presentPath));
        }
    }
}

// A real child of the same process is still waited for as the C library does.
TEST(Spawn, RealChildrenAreStillWaitedFor) {
    sim::Reset();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        _exit(5);
    EXPECT_EQ(RunProgram({"sync"}), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), 5);
}

}  // namespace
