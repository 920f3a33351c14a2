// A process nobody resets (the host program under LD_PRELOAD) starts its
// machine from the SIMMACHINE_* environment. Real programs stand in for it.

#include <gtest/gtest.h>
#include <kortest/TemporaryDirectory.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "child_process.h"

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
