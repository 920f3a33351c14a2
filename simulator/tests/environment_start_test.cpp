// A process nobody resets (the host program under LD_PRELOAD) starts its
// machine from the SIMMACHINE_* environment, and continues the one a named
// sandbox keeps. Real programs stand in for it.

#include <gtest/gtest.h>
#include <kortest/TemporaryDirectory.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "child_process.h"
#include "ipmi_test_client.h"
#include "simmachine/SimMachine.h"

namespace {

namespace fs = std::filesystem;

class EnvironmentStart : public ::testing::Test {
protected:
    simtest::ChildResult Run(const std::vector<std::string>& argv, const std::string& scenario,
                             std::vector<std::string> extra = {}) {
        scratch_.Write("scenario", scenario);
        extra.push_back(simtest::SimulatorPreload());
        extra.push_back("SIMMACHINE_SCENARIO=" + scratch_.Join("scenario"));
        extra.push_back("SIMMACHINE_TRACE=" + TracePath());
        return simtest::RunChild(argv, extra);
    }

    std::string TracePath() const { return scratch_.Join("trace.jsonl"); }

    std::string TraceText() const {
        std::ifstream in(TracePath());
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    kortest::TemporaryDirectory scratch_;
};

TEST_F(EnvironmentStart, ProgramReadsTheScenariosFiles) {
    const simtest::ChildResult result =
        Run({"/bin/cat", "/etc/simcore-motd"}, "file /etc/simcore-motd = hello from the machine\n");
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.output, "hello from the machine\n");
    EXPECT_NE(TraceText().find("\"kind\":\"file\",\"op\":\"open\",\"path\":\"/etc/simcore-motd\""),
              std::string::npos)
        << TraceText();
    EXPECT_FALSE(fs::exists("/proc/self/root/etc/simcore-motd"));
}

TEST_F(EnvironmentStart, ProgramSleepsInVirtualTime) {
    const auto start = std::chrono::steady_clock::now();
    const simtest::ChildResult result = Run({"/bin/sleep", "5"}, "");
    EXPECT_EQ(result.exitStatus, 0) << result.output;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_NE(TraceText().find("\"kind\":\"sleep\""), std::string::npos);
    EXPECT_NE(TraceText().find("\"ms\":5000"), std::string::npos) << TraceText();
}

TEST_F(EnvironmentStart, MalformedScenarioEndsTheProgram) {
    const simtest::ChildResult result =
        Run({"/bin/cat", "/etc/hostname"}, "root = yes\nbogus = 1\n");
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_NE(
        result.output.find("scenario " + scratch_.Join("scenario") + ":2: unknown key 'bogus'\n"),
        std::string::npos)
        << result.output;
}

TEST_F(EnvironmentStart, NamedSandboxIsUsedAndKept) {
    const std::string sandbox = scratch_.Join("sandbox");
    const simtest::ChildResult result =
        Run({"/bin/cat", "/etc/simcore-motd"}, "file /etc/simcore-motd = kept\n",
            {"SIMMACHINE_SANDBOX=" + sandbox});
    EXPECT_EQ(result.exitStatus, 0) << result.output;
    EXPECT_TRUE(fs::exists(sandbox + "/etc/simcore-motd"));
    EXPECT_TRUE(fs::exists(sandbox + "/sbin/udevadm"));
}

// A named sandbox keeps one machine for every program run on it, the test's
// own process included: each continues what the last one left, without
// laying out its scenario's machine again; a program killed at its
// kill_before point leaves what it did so far; a paused one lets another
// work on the machine meanwhile and goes on from what that one left.
TEST_F(EnvironmentStart, NamedSandboxKeepsOneMachineForEveryProgram) {
    const std::string sandbox = scratch_.Join("machine");
    sim::ResetIn(sandbox, "haldaemon = running\n");
    simtest::IpmiClient client;
    ASSERT_EQ(client.Exchange("30 a1 10 00 00 3c"), "31 a1 00 34 12");
    ASSERT_EQ(client.Exchange("30 a1 20 34 12 23 00 53 45 43 55 50 44"), "31 a1 00");
    ASSERT_EQ(client.Exchange("30 a1 21 34 12 01 00 00 00 00 01"), "31 a1 00");
    ASSERT_EQ(std::system("mkdir -p /tmp/SECUPD"), 0);
    ASSERT_EQ(std::system("ln -sf /dev/sda /dev/secostupd-SECUPD"), 0);
    ASSERT_EQ(
        std::system("mount -n -t vfat -oshortname=mixed,rw /dev/secostupd-SECUPD /tmp/SECUPD"), 0);
    ASSERT_EQ(std::system("/etc/init.d/haldaemon stop > /dev/null 2>&1"), 0);
    const std::string mounted = "/dev/sda /tmp/SECUPD vfat rw,relatime,shortname=mixed 0 0\n";
    const std::string python = "/usr/bin/python3";
    struct Step {
        std::vector<std::string> argv;
        std::string scenario;
        int exitStatus;  // -1: killed
        std::string output;
    };
    const std::vector<Step> steps = {
        {{"/bin/cat", "/proc/mounts"}, "file /etc/simcore-motd = laid out\n", 0, mounted},
        {{"/bin/cat", "/etc/simcore-motd"}, "file /etc/simcore-motd = laid out\n", 1, ""},
        {{python, "-c", "import os; print(os.system('/etc/init.d/haldaemon status') >> 8)"},
         "",
         0,
         "3\n"},
        {{python, "-c", "import os; os.system('mkdir -p /etc/killed')"},
         "kill_before = command mkdir -p /etc/killed\n",
         -1,
         ""},
        // An hour without a request ends the session and the partition made in it.
        {{"/bin/sleep", "3600"}, "", 0, ""},
    };
    for (size_t i = 0; i < steps.size(); ++i) {
        const Step& step = steps[i];
        SCOPED_TRACE(step.argv.back());
        scratch_.Write("scenario", step.scenario);
        const simtest::ChildResult result = simtest::RunChild(
            step.argv, {simtest::SimulatorPreload(), "SIMMACHINE_SANDBOX=" + sandbox,
                        "SIMMACHINE_SCENARIO=" + scratch_.Join("scenario"),
                        "SIMMACHINE_TRACE=" + scratch_.Join("trace-" + std::to_string(i))});
        EXPECT_EQ(result.exitStatus, step.exitStatus) << result.output;
        if (step.exitStatus == 0) {
            EXPECT_EQ(result.output, step.output);
        }
    }
    EXPECT_FALSE(fs::exists(sandbox + "/etc/killed"));
    std::ifstream killed(scratch_.Join("trace-3"));
    std::stringstream killedTrace;
    killedTrace << killed.rdbuf();
    EXPECT_NE(killedTrace.str().find(R"("kind":"hold","action":"kill")"), std::string::npos);
    EXPECT_GE(sim::VirtualTimeMs(), 3600u * 1000);
    EXPECT_FALSE(sim::ControllerSessionOpen());
    EXPECT_TRUE(sim::ControllerPartitions().empty());
    std::ifstream mounts("/proc/mounts");
    std::stringstream left;
    left << mounts.rdbuf();
    EXPECT_EQ(left.str(), mounted) << "the mount, dead";
    EXPECT_EQ(WEXITSTATUS(std::system("/etc/init.d/haldaemon status")), 3);

    // Paused before its command, a program lets another one on: an hour passes.
    scratch_.Write("paused.scn", "pause_before = command mkdir -p /etc/late\n");
    const pid_t paused = fork();
    if (paused == 0) {
        simtest::RunChild({python, "-c", "import os; os.system('mkdir -p /etc/late')"},
                          {simtest::SimulatorPreload(), "SIMMACHINE_SANDBOX=" + sandbox,
                           "SIMMACHINE_SCENARIO=" + scratch_.Join("paused.scn"),
                           "SIMMACHINE_TRACE=" + scratch_.Join("trace-paused")});
        _exit(0);
    }
    for (int i = 0; i < 3000 && !fs::exists(sandbox + "/paused"); ++i)
        usleep(10 * 1000);
    ASSERT_TRUE(fs::exists(sandbox + "/paused"));
    EXPECT_EQ(simtest::RunChild({"/bin/sleep", "3600"},
                                {simtest::SimulatorPreload(), "SIMMACHINE_SANDBOX=" + sandbox,
                                 "SIMMACHINE_TRACE=" + scratch_.Join("trace-meanwhile")})
                  .exitStatus,
              0);
    fs::remove(sandbox + "/paused");
    int status = 0;
    ASSERT_EQ(waitpid(paused, &status, 0), paused);
    std::ifstream late(scratch_.Join("trace-paused"));
    std::stringstream lateTrace;
    lateTrace << late.rdbuf();
    EXPECT_NE(
        lateTrace.str().find(R"("kind":"shell","via":"system","command":"mkdir -p /etc/late")"),
        std::string::npos)
        << lateTrace.str();
    EXPECT_GE(sim::VirtualTimeMs(), 2 * 3600u * 1000);
    EXPECT_TRUE(fs::exists(sandbox + "/etc/late"));
}

TEST_F(EnvironmentStart, NothingIsWrittenOutsideTmp) {
    for (const std::string variable :
         {"SIMMACHINE_SANDBOX=/var/simcore", "SIMMACHINE_TRACE=/x.j"}) {
        const simtest::ChildResult result = Run({"/bin/cat", "/etc/simcore-motd"}, "", {variable});
        EXPECT_EQ(result.exitStatus, 2) << variable;
        EXPECT_NE(result.output.find("must lie below /tmp"), std::string::npos) << result.output;
    }
    EXPECT_FALSE(fs::exists("/var/simcore"));
}

}  // namespace
