// Whole staged updates under valgrind's memcheck: no memory error and no
// definite leak in the host, the library or the simulator's stand-ins, on the
// way of success, on a failure's way out, and across two updates in one
// process.
#include <gtest/gtest.h>

#include <kortest/TemporaryDirectory.h>
#include <fstream>
#include <sstream>
#include <string>

#include "HostProcess.h"

namespace {

class UpdateMemcheck : public ::testing::TestWithParam<std::string> {};

TEST_P(UpdateMemcheck, HasNoMemoryErrorAndNoDefiniteLeak) {
    if (std::string(KOR_VALGRIND).find("NOTFOUND") != std::string::npos)
        GTEST_SKIP() << "valgrind is not installed";
    kortest::TemporaryDirectory directory;
    hosttest::HostProcess process;
    process.packageDirectory = directory.Join("package");
    process.scenarioPath = std::string(KOR_SOURCE_DIR) + "/simulator/scenarios/" + GetParam();
    process.arguments = hosttest::LayOutPackage(process.packageDirectory, process.scenarioPath);
    process.tracePath = directory.Join("trace.jsonl");
    process.sandboxPath = directory.Join("sandbox");
    const std::string report = directory.Join("memcheck.txt");
    process.wrapper = {KOR_VALGRIND,          "--tool=memcheck",
                       "--leak-check=full",   "--errors-for-leak-kinds=definite",
                       "--error-exitcode=99", "--log-file=" + report};

    const hosttest::HostOutcome outcome = hosttest::RunHost(process);
    std::ifstream file(report);
    std::stringstream text;
    text << file.rdbuf();
    // 0 to 5: the host's own verdict on the record (its exit table); 99 is
    // memcheck's.
    EXPECT_LE(outcome.exitStatus, 5) << outcome.output << outcome.errors << text.str();
    EXPECT_NE(text.str().find("ERROR SUMMARY: 0 errors"), std::string::npos) << text.str();
}

INSTANTIATE_TEST_SUITE_P(Scenarios, UpdateMemcheck,
                         ::testing::Values("healthy.scn", "stage-checksum-mismatch.scn",
                                           "two-updates.scn"));

}  // namespace
