// A malformed scenario stops the run with its origin, line and problem.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

#include "simmachine/SimMachine.h"

namespace {

std::string ErrorOf(const std::string& scenario) {
    try {
        sim::Reset(scenario);
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "";
}

TEST(ScenarioErrors, NameOriginLineAndProblem) {
    const struct {
        std::string scenario;
        std::string error;
    } cases[] = {
        {"bogus = 1", "scenario <text>:1: unknown key 'bogus'"},
        {"# comment\n\nroot = maybe", "scenario <text>:3: 'root' must be yes or no, not 'maybe'"},
        {"root", "scenario <text>:1: expected 'KEY = VALUE', got 'root'"},
        {"module ipmi_si = gone",
         "scenario <text>:1: 'module ipmi_si' must be loaded, loadable, unloadable, "
         "loads-invisibly or builtin, not 'gone'"},
        {"module = loaded", "scenario <text>:1: expected 'module NAME = STATE'"},
        {"rmmod_failures ipmi_si = many",
         "scenario <text>:1: 'rmmod_failures ipmi_si' needs a count, not 'many'"},
        {"umount_failures = -1", "scenario <text>:1: 'umount_failures' needs a count, not '-1'"},
        {"haldaemon = on", "scenario <text>:1: 'haldaemon' must be running or stopped, not 'on'"},
        {"norb = maybe",
         "scenario <text>:1: 'norb' must be installed, system or absent, not 'maybe'"},
        {"uname.colour = red",
         "scenario <text>:1: unknown key 'uname.colour' (uname fields: sysname, nodename, "
         "release, version or machine)"},
        {"file etc/motd = hi", "scenario <text>:1: path must be absolute: 'etc/motd'"},
        {"file /etc/motd", "scenario <text>:1: expected 'file PATH = TEXT' or 'file PATH <<END'"},
        {"dir /a\nfile /etc/motd <<END\nline\n",
         "scenario <text>:2: here-document of /etc/motd is not closed by END"},
        {"dir", "scenario <text>:1: expected 'dir PATH'"},
        {"process", "scenario <text>:1: expected 'process NAME'"},
        {"owner /tmp/SECUPD = 1000",
         "scenario <text>:1: expected 'owner PATH = UID MODE' (MODE in octal, like 0755)"},
        {"owner /tmp/SECUPD = user 0755",
         "scenario <text>:1: expected 'owner PATH = UID MODE' (MODE in octal, like 0755)"},
        {"owner /tmp/SECUPD = 1000 0789",
         "scenario <text>:1: expected 'owner PATH = UID MODE' (MODE in octal, like 0755)"},
        {"owner tmp/SECUPD = 1000 0755", "scenario <text>:1: path must be absolute: 'tmp/SECUPD'"},
        {"command sync", "scenario <text>:1: expected 'command LINE => exit N [output TEXT]'"},
        {"command sync => exit x",
         "scenario <text>:1: expected 'command LINE => exit N [output TEXT]'"},
        {"pause_before = ipmi",
         "scenario <text>:1: 'pause_before' must be 'ipmi NAME [N]' or 'command LINE', not "
         "'ipmi'"},
        {"pause_before = OrinStatus",
         "scenario <text>:1: 'pause_before' must be 'ipmi NAME [N]' or 'command LINE', not "
         "'OrinStatus'"},
        {"pause_before = ipmi OrinStatus 0",
         "scenario <text>:1: 'pause_before' needs a count of at least 1 after the command name, "
         "not '0'"},
        {"kill_before = sync",
         "scenario <text>:1: 'kill_before' must be 'ipmi NAME [N]' or "
         "'command LINE', not 'sync'"},
        {"kill_before ipmi = poll",
         "scenario <text>:1: expected 'kill_before = ipmi NAME [N] | "
         "command LINE'"},
        {"expect.status =", "scenario <text>:1: expected 'expect.KEY = VALUE'"},
        {"expect. = 0", "scenario <text>:1: expected 'expect.KEY = VALUE'"},
        {"expect.trace fact = x", "scenario <text>:1: expected 'expect.KEY = VALUE'"},
        {"package.file a b = x",
         "scenario <text>:1: expected 'package.NAME [PATH] = VALUE' or 'package.NAME PATH <<END'"},
        {"package.remove =",
         "scenario <text>:1: expected 'package.NAME [PATH] = VALUE' or 'package.NAME PATH <<END'"},
        {"package.file sign <<END\nsignature\n",
         "scenario <text>:1: here-document of sign is not closed by END"},
        {"host.arguments", "scenario <text>:1: expected 'KEY = VALUE', got 'host.arguments'"},
        {"host.arguments x = --json", "scenario <text>:1: expected 'host.NAME = VALUE'"},
        {"ipmi.nodes = /dev/ipmi0\ncontroller.generation = 22\ndisk sdb = label=X\nfoo.bar = 1",
         "scenario <text>:4: unknown key 'foo.bar'"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ErrorOf(c.scenario), c.error) << c.scenario;
    }
}

TEST(ScenarioErrors, WellFormedLinesAreAccepted) {
    EXPECT_EQ(ErrorOf("# every form of the core\n"
                      "root = no\n"
                      "uname.sysname = VMkernel\n"
                      "uname.release = 7.0.3\n"
                      "file /etc/redhat-release = Red Hat Enterprise Linux\n"
                      "file /VERSION <<EOF\n"
                      "WMB_MAJOR_VERSION=2\n"
                      "EOF\n"
                      "dir /vmfs/volumes\n"
                      "executable /sbin/udevcontrol\n"
                      "remove /sbin/udevadm\n"
                      "module usb_storage = builtin\n"
                      "rmmod_failures ipmi_si = 0x3\n"
                      "process vmware-usbarbitrator\n"
                      "haldaemon = running\n"
                      "command sync => exit 1 output no disks\n"
                      "umount_failures = 2\n"
                      "norb = system\n"
                      "pause_before = ipmi poll 3\n"
                      "pause_before = command lsmod  | grep -w sg >/dev/null;echo $?\n"
                      "kill_before = ipmi EndOstrelSession\n"
                      "controller.session_timeout = 30\n"),
              "");
}

// The devices half judges its own keys; its complaint still names the line.
TEST(ScenarioErrors, DeviceKeysAreLocatedToo) {
    const std::string error = ErrorOf("root = yes\ncontroller.fat = 7\n");
    EXPECT_EQ(error.rfind("scenario <text>:2: controller.fat", 0), 0u) << error;
}

// The machine ignores the expected outcome, the package and the host's
// arguments; a runner reads them back in order, in-process from the running
// machine or from the file alone (a here-document's lines are its value).
TEST(ScenarioErrors, ExpectationsAreKeptInOrderAndIgnored) {
    const std::string text =
        "expect.status = 0\nroot = no\npackage.file package.xml <<END\nexpect.status = 9\nEND\n"
        "host.arguments = --json\nexpect.message_id = VEK0001 done\nexpect.status = 1\n";
    const sim::Expectations expected = {
        {"status", "0"}, {"message_id", "VEK0001 done"}, {"status", "1"}};
    sim::Reset(text);
    EXPECT_EQ(sim::ScenarioExpectations(), expected);

    char path[] = "/tmp/simcore-expect-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fd);
    sim::Reset();
    EXPECT_EQ(sim::ScenarioExpectationsOf(path), expected);
    const sim::ScenarioEntries entries = sim::ScenarioEntriesOf(path);
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_EQ(entries[2], std::make_pair(std::string("package.file package.xml"),
                                         std::string("expect.status = 9\n")));
    EXPECT_TRUE(sim::ScenarioExpectations().empty());
    std::remove(path);
    EXPECT_THROW(sim::ScenarioExpectationsOf(path), std::runtime_error);
}

TEST(ScenarioErrors, FileOriginNamesTheFile) {
    char path[] = "/tmp/simcore-scenario-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    const std::string text = "root = yes\nnorb = sometimes\n";
    ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fd);
    try {
        sim::ResetFromFile(path);
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()),
                  std::string("scenario ") + path +
                      ":2: 'norb' must be installed, system or absent, not 'sometimes'");
    }
    std::remove(path);
    EXPECT_THROW(sim::ResetFromFile(path), std::runtime_error);
}

}  // namespace
