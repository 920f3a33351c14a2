// The command lines the library runs, answered as the scenario's machine
// would, each recorded verbatim with its exit status.

#include <gtest/gtest.h>
#include <kortest/TemporaryDirectory.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "simmachine/SimMachine.h"

namespace {

struct Step {
    std::string command;
    int exitStatus;
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

int ExitOf(const std::string& command) {
    const int status = system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

const std::string kLsmodSi = "lsmod  | grep ipmi_si > /dev/null 2>&1 ";
const std::string kModprobeSi = "modprobe ipmi_si > /dev/null 2>&1 ";
const std::string kRmmodSi = "rmmod ipmi_si > /dev/null 2>&1 ";
const std::string kLsmodUsb = "lsmod | grep usb_storage  > /dev/null 2>&1";
const std::string kModprobeUsb = "modprobe usb_storage  > /dev/null 2>&1";
const std::string kRmmodUsb = "rmmod usb_storage  > /dev/null 2>&1";
const std::string kBuiltin =
    "grep -i \"usb[-_]storage.ko\" /lib/modules/$(uname -r)/modules.builtin  > /dev/null 2>&1";
const std::string kPsEsx = "ps aux | grep -v grep | grep -q vmware-usbarbitrator > /dev/null";
const std::string kPsEsxi = "ps | grep -i -q vmware-usbarbitrator  > /dev/null";
const std::string kHalStart = "/etc/init.d/haldaemon start > /dev/null 2>&1";
const std::string kHalStop = "/etc/init.d/haldaemon stop > /dev/null 2>&1";
const std::string kUdevadm = "/sbin/udevadm control --reload-rules > /dev/null 2>&1";
const std::string kUdevcontrol = "/sbin/udevcontrol reload_rules > /dev/null 2>&1";

TEST(ShellEmulation, CommandLinesAnswerPerScenario) {
    const struct {
        std::string scenario;
        std::vector<Step> steps;
    } cases[] = {
        {"",
         {{kLsmodSi, 0},
          {kRmmodSi, 0},
          {kLsmodSi, 1},
          {kModprobeSi, 0},
          {kLsmodSi, 0},
          {"lsmod  | grep ipmi_msghandler > /dev/null 2>&1 ", 0},
          {"modprobe ipmi_devintf > /dev/null 2>&1 ", 0}}},
        {"module ipmi_devintf = unloadable",
         {{"lsmod  | grep ipmi_devintf > /dev/null 2>&1 ", 1},
          {"modprobe ipmi_devintf > /dev/null 2>&1 ", 1}}},
        {"module ipmi_msghandler = loads-invisibly",
         {{"modprobe ipmi_msghandler > /dev/null 2>&1 ", 0},
          {"lsmod  | grep ipmi_msghandler > /dev/null 2>&1 ", 1},
          {"rmmod ipmi_msghandler > /dev/null 2>&1 ", 0}}},
        {"rmmod_failures ipmi_si = 2", {{kRmmodSi, 1}, {kRmmodSi, 1}, {kRmmodSi, 0}}},
        {"",
         {{kLsmodUsb, 1},
          {kBuiltin, 1},
          {kModprobeUsb, 0},
          {kLsmodUsb, 0},
          {kRmmodUsb, 0},
          {kLsmodUsb, 1}}},
        {"module usb_storage = builtin\nuname.release = 5.10.0-other", {{kBuiltin, 0}}},
        {"file /lib/modules/6.1.0-sim/modules.builtin = kernel/drivers/usb/storage/usb-storage.ko",
         {{kBuiltin, 0}}},
        {"module usb_storage = unloadable", {{kModprobeUsb, 1}, {kLsmodUsb, 1}}},
        {"", {{kPsEsx, 1}, {kPsEsxi, 1}}},
        {"process vmware-usbarbitrator", {{kPsEsx, 0}, {kPsEsxi, 0}}},
        {"", {{kHalStart, 127}, {kHalStop, 127}}},
        {"haldaemon = stopped", {{kHalStart, 0}, {kHalStop, 0}}},
        {"", {{kUdevadm, 0}, {kUdevcontrol, 127}}},
        {"remove /sbin/udevadm\nexecutable /sbin/udevcontrol",
         {{kUdevadm, 127}, {kUdevcontrol, 0}}},
        {"",
         {{"sync", 0},
          {"mkdir -p /tmp/SECUPD", 0},
          {"/bin/mkdir -p /tmp/SECUPD/payload", 0},
          {"rm -rf /tmp/SECUPD > /dev/null 2>&1", 0},
          {"rm -rf /tmp/SECUPD", 0},
          {"rm -f /dev/secostupd-* > /dev/null 2>&1", 0},
          {"rm -f /dev/secostupd-SECUPD", 0},
          {"/opt/pkg//vekfernlyinstall.sh install", 0},
          {"/opt/pkg//vekfernlyinstall.sh uninstall", 0}}},
        {"command sync => exit 3\ncommand " + kLsmodSi + " => exit 1",
         {{"sync", 3}, {kLsmodSi, 1}}},
    };
    for (const auto& c : cases) {
        sim::Reset(c.scenario);
        std::vector<std::string> commands;
        for (const Step& step : c.steps) {
            EXPECT_EQ(ExitOf(step.command), step.exitStatus)
                << "scenario '" << c.scenario << "', command '" << step.command << "'";
            commands.push_back(step.command);
        }
        EXPECT_EQ(sim::ShellCommands(), commands) << c.scenario;
        const std::vector<sim::Event> shells = sim::TraceOf("shell");
        ASSERT_EQ(shells.size(), c.steps.size());
        for (size_t i = 0; i < shells.size(); ++i) {
            EXPECT_EQ(shells[i].fields.at("via"), "system");
            EXPECT_EQ(shells[i].fields.at("exit"), std::to_string(c.steps[i].exitStatus));
            EXPECT_EQ(shells[i].fields.at("known"), "true") << c.steps[i].command;
        }
        EXPECT_FALSE(sim::HasUnknownCommands()) << c.scenario;
    }
}

TEST(ShellEmulation, UnknownCommandsAreRecordedAndFail) {
    sim::Reset();
    // The last one would write outside the sandbox: never emulated.
    for (const std::string command :
         {"reboot", "lsmod | grep ipmi_si > /dev/null 2>&1 ", "mkdir -p /home/simcore"}) {
        EXPECT_EQ(ExitOf(command), 127) << command;
    }
    EXPECT_TRUE(sim::HasUnknownCommands());
    const std::vector<sim::Event> unknown = sim::TraceOf("unknown_command");
    ASSERT_EQ(unknown.size(), 3u);
    EXPECT_EQ(unknown[0].fields.at("command"), "reboot");
    EXPECT_EQ(sim::TraceOf("shell")[0].fields.at("known"), "false");
    EXPECT_FALSE(std::filesystem::exists("/proc/self/root/home/simcore"));
}

TEST(ShellEmulation, FileCommandsWorkInTheSandbox) {
    sim::Reset("file /dev/sdc1 = the disk");
    kortest::TemporaryDirectory package;
    package.Enter();
    std::ofstream("98-secupdusb.rules") << "rule\n";
    std::ofstream("fw.bin") << "firmware";

    EXPECT_EQ(ExitOf("cp -fH 98-secupdusb.rules /etc/udev/rules.d/ > /dev/null 2>&1"), 0);
    EXPECT_EQ(ReadAll(sim::SandboxPath("/etc/udev/rules.d/98-secupdusb.rules")), "rule\n");
    EXPECT_EQ(ExitOf("cp -fH missing.rules /etc/udev/rules.d/ > /dev/null 2>&1"), 1);
    EXPECT_EQ(ExitOf("cp -fH 98-secupdusb.rules /etc/nowhere/ > /dev/null 2>&1"), 1);
    EXPECT_EQ(ExitOf("chmod 755 /etc/udev/rules.d//98-secupdusb.rules  > /dev/null 2>&1"), 0);
    struct stat info;
    ASSERT_EQ(stat("/etc/udev/rules.d/98-secupdusb.rules", &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0755u);

    EXPECT_EQ(ExitOf("mkdir -p /tmp/SECUPD"), 0);
    EXPECT_EQ(ExitOf("/bin/mkdir -p /tmp/SECUPD/payload"), 0);
    EXPECT_EQ(ExitOf("/bin/cp \"" + package.Path() +
                     "//fw.bin\"  \"/tmp/SECUPD/payload/fw.bin\" > /dev/null 2>&1 "),
              0);
    EXPECT_EQ(ReadAll(sim::SandboxPath("/tmp/SECUPD/payload/fw.bin")), "firmware");
    EXPECT_EQ(ExitOf("/bin/cp \"/nonexistent/x\"  \"/tmp/SECUPD/payload/x\" > /dev/null 2>&1 "), 1);

    EXPECT_EQ(ExitOf("ln -sf /dev/sdc1 /dev/secostupd-SECUPD"), 0);
    EXPECT_EQ(ReadAll("/dev/secostupd-SECUPD"), "the disk\n");
    EXPECT_EQ(ExitOf("ln -sf /dev/sdc1 /dev/secostupd-SECUPD"), 0);
    EXPECT_EQ(ExitOf("rm -f /dev/secostupd-* > /dev/null 2>&1"), 0);
    EXPECT_NE(access("/dev/secostupd-SECUPD", F_OK), 0);
    EXPECT_EQ(access("/dev/sdc1", F_OK), 0);
    EXPECT_EQ(ExitOf("rm -rf /tmp/SECUPD > /dev/null 2>&1"), 0);
    EXPECT_NE(access("/tmp/SECUPD", F_OK), 0);
    EXPECT_EQ(ExitOf("rm -f /dev/sdc1"), 0);
    EXPECT_NE(access("/dev/sdc1", F_OK), 0);

    package.Leave();
    EXPECT_FALSE(sim::HasUnknownCommands());
}

// File names reach the emulated commands as a shell would hand them on:
// quoted words arrive intact; a line whose meaning depends on what the shell
// would expand or run is unknown, so a library that builds one fails.
TEST(ShellEmulation, QuotedNamesArriveIntactAndShellSyntaxIsUnknown) {
    const std::string odd = "notes & <draft> $(x) `y` \"q\" 'a'.txt";
    const struct {
        std::string command;
        int exitStatus;
        std::string created;  // machine path present afterwards, when not empty
    } cases[] = {
        {"/bin/cp '/etc/src'  '/tmp/SECUPD/notes & <draft> $(x) `y` \"q\" '\\''a'\\''.txt' > "
         "/dev/null 2>&1 ",
         0, "/tmp/SECUPD/" + odd},
        {R"(/bin/cp "/etc/src"  "/tmp/SECUPD/with blank" > /dev/null 2>&1 )", 0,
         "/tmp/SECUPD/with blank"},
        {"mkdir -p '/tmp/SECUPD/a;b'", 0, "/tmp/SECUPD/a;b"},
        {"/bin/cp \"/etc/src\"  \"/tmp/SECUPD/$(reboot)\" > /dev/null 2>&1 ", 127, ""},
        {R"(/bin/cp "/etc/src"  "/tmp/SECUPD/`reboot`" > /dev/null 2>&1 )", 127, ""},
        {"mkdir -p /tmp/SECUPD/a;reboot", 127, ""},
        {"rm -rf /tmp/SECUPD/*", 127, ""},
        {"ln -sf /dev/sda '/dev/secostupd-SECUPD", 127, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        sim::Reset("file /etc/src = payload\ndir /tmp/SECUPD\n");
        EXPECT_EQ(ExitOf(c.command), c.exitStatus);
        EXPECT_EQ(sim::HasUnknownCommands(), c.exitStatus == 127);
        if (!c.created.empty()) {
            EXPECT_EQ(access(sim::SandboxPath(c.created).c_str(), F_OK), 0);
        }
    }
}

}  // namespace
