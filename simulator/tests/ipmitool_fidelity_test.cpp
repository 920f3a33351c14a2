// A client nobody here wrote: Debian's ipmitool, through its "open"
// interface (the Linux driver's device nodes and ioctls), run as a separate
// process with the simulator preloaded, gets the model's answers.

#include <gtest/gtest.h>
#include <kortest/TemporaryDirectory.h>

#include <fstream>

#include "child_process.h"

namespace {

struct Case {
    std::string scenario;
    std::vector<std::string> raw;  // ipmitool raw arguments
    int exitStatus;
    std::string output;     // what ipmitool prints, or a part of its complaint
    std::string traceName;  // the request name the model's trace shows
};

TEST(IpmitoolFidelity, RawCommandsGetTheModelsAnswers) {
    const std::vector<Case> cases = {
        {"", {"0x06", "0x01"}, 0, " 20 81 01 23 02 bf 00 00 00 01 00 00 00 00 00\n", "?"},
        {"controller.orin_status = 5", {"0x30", "0xa1", "0x01"}, 0, " 01 05\n", "OrinStatus"},
        {"controller.session_id = 0x2345",
         {"0x30", "0xa1", "0x10", "0x00", "0x00", "0x3c"},
         0,
         " 45 23\n",
         "BeginOstrelSessionExtend"},
        {"", {"0x30", "0xa1", "0x11", "0x00", "0x00"}, 1, "rsp=0xcc", "EndOstrelSession"},
    };
    const kortest::TemporaryDirectory temp;
    const std::string& directory = temp.Path();
    ASSERT_FALSE(directory.empty());
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.raw.back());
        const std::string scenario = directory + "/ipmitool_" + std::to_string(i) + ".scenario";
        const std::string trace = directory + "/ipmitool_" + std::to_string(i) + ".trace";
        std::ofstream(scenario) << c.scenario << "\n";
        std::vector<std::string> argv = {"/usr/bin/ipmitool", "-I", "open", "raw"};
        argv.insert(argv.end(), c.raw.begin(), c.raw.end());
        const simtest::ChildResult result =
            simtest::RunChild(argv, {simtest::SimulatorPreload(), "SIMMACHINE_SCENARIO=" + scenario,
                                     "SIMMACHINE_TRACE=" + trace});
        EXPECT_EQ(result.exitStatus, c.exitStatus) << result.output;
        if (c.exitStatus == 0) {
            EXPECT_EQ(result.output, c.output);
        } else {
            EXPECT_NE(result.output.find(c.output), std::string::npos) << result.output;
        }
        std::ifstream lines(trace);
        std::string line;
        bool seen = false;
        while (std::getline(lines, line)) {
            seen = seen || (line.find(R"("kind":"ipmi_request")") != std::string::npos &&
                            line.find(R"("name":")" + c.traceName + "\"") != std::string::npos);
        }
        EXPECT_TRUE(seen) << "no ipmi_request named " << c.traceName << " in " << trace;
    }
}

}  // namespace
