// popen answers from the emulated shell; pclose gives its status.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>

#include "simmachine/SimMachine.h"

namespace {

struct StreamResult {
    std::string output;
    int status;
};

StreamResult ReadCommand(const std::string& command) {
    FILE* stream = popen(command.c_str(), "r");
    if (stream == nullptr)
        return {"<no stream>", -1};
    StreamResult result;
    char buffer[1024];
    size_t got = 0;
    while ((got = fread(buffer, 1, sizeof buffer, stream)) > 0)
        result.output.append(buffer, got);
    result.status = pclose(stream);
    return result;
}

TEST(Popen, OutputAndStatusPerScenario) {
    const std::string sg = "lsmod | grep -w sg >/dev/null;echo $?";
    const std::string hal = "/etc/init.d/haldaemon status";
    const struct {
        std::string scenario;
        std::string command;
        std::string output;
        int exitStatus;
        bool known;
    } cases[] = {
        {"", sg, "0\n", 0, true},
        {"module sg = loadable", sg, "1\n", 0, true},
        {"haldaemon = running", hal, "haldaemon is running\n", 0, true},
        {"haldaemon = stopped", hal, "haldaemon is stopped\n", 3, true},
        {"", hal, "", 127, true},
        {"command esxcfg-info => exit 4 output two words", "esxcfg-info", "two words\n", 4, true},
        {"", "cat /etc/shadow", "", 127, false},
    };
    for (const auto& c : cases) {
        sim::Reset(c.scenario);
        const StreamResult result = ReadCommand(c.command);
        EXPECT_EQ(result.output, c.output) << c.command;
        ASSERT_TRUE(WIFEXITED(result.status)) << c.command;
        EXPECT_EQ(WEXITSTATUS(result.status), c.exitStatus) << c.command;
        const std::vector<sim::Event> shells = sim::TraceOf("shell");
        ASSERT_EQ(shells.size(), 1u);
        EXPECT_EQ(shells[0].fields.at("via"), "popen");
        EXPECT_EQ(shells[0].fields.at("command"), c.command);
        EXPECT_EQ(shells[0].fields.at("known"), c.known ? "true" : "false");
        EXPECT_EQ(sim::HasUnknownCommands(), !c.known);
    }
}

TEST(Popen, HaldaemonStartChangesTheStatus) {
    sim::Reset("haldaemon = stopped");
    ASSERT_EQ(system("/etc/init.d/haldaemon start > /dev/null 2>&1"), 0);
    EXPECT_EQ(ReadCommand("/etc/init.d/haldaemon status").output, "haldaemon is running\n");
}

TEST(Popen, WriteStreamsAreRefusedAndRecorded) {
    sim::Reset();
    EXPECT_EQ(popen("lsmod | grep -w sg >/dev/null;echo $?", "w"), nullptr);
    EXPECT_TRUE(sim::HasUnknownCommands());
    EXPECT_EQ(pclose(nullptr), -1);
}

TEST(Popen, StreamsSurviveAReset) {
    sim::Reset();
    FILE* stream = popen("lsmod | grep -w sg >/dev/null;echo $?", "r");
    ASSERT_NE(stream, nullptr);
    sim::Reset();
    char line[8] = {};
    ASSERT_NE(fgets(line, sizeof line, stream), nullptr);
    EXPECT_STREQ(line, "0\n");
    EXPECT_EQ(pclose(stream), 0);
}

}  // namespace
