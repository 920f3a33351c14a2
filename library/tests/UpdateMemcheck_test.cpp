// Whole staged updates and the pass-through under valgrind's memcheck: no
// memory error and no definite leak in the host, the library or the
// simulator's stand-ins, on the way of success, on a failure's way out,
// across two updates in one process, and for single catalogue commands.
#include <gtest/gtest.h>

#include <kortest/TemporaryDirectory.h>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "HostProcess.h"

namespace {

struct MemcheckRun {
    std::string name;
    std::string scenario;                // of simulator/scenarios
    std::vector<std::string> arguments;  // none: the update the package asks for
};

class UpdateMemcheck : public ::testing::TestWithParam<MemcheckRun> {};

TEST_P(UpdateMemcheck, HasNoMemoryErrorAndNoDefiniteLeak) {
    if (std::string(KOR_VALGRIND).find("NOTFOUND") != std::string::npos)
        GTEST_SKIP() << "valgrind is not installed";
    kortest::TemporaryDirectory directory;
    hosttest::HostProcess process;
    process.packageDirectory = directory.Join("package");
    process.scenarioPath =
        std::string(KOR_SOURCE_DIR) + "/simulator/scenarios/" + GetParam().scenario;
    process.arguments = hosttest::LayOutPackage(process.packageDirectory, process.scenarioPath);
    if (!GetParam().arguments.empty())
        process.arguments = GetParam().arguments;
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
    // 0 to 6: the host's own verdict on the record (its exit table); 99 is
    // memcheck's.
    EXPECT_LE(outcome.exitStatus, 6) << outcome.output << outcome.errors << text.str();
    EXPECT_NE(text.str().find("ERROR SUMMARY: 0 errors"), std::string::npos) << text.str();
}

INSTANTIATE_TEST_SUITE_P(
    Runs, UpdateMemcheck,
    ::testing::Values(
        MemcheckRun{"healthy", "healthy.scn", {}},
        MemcheckRun{"checksum_mismatch", "stage-checksum-mismatch.scn", {}},
        MemcheckRun{"two_updates", "two-updates.scn", {}},
        MemcheckRun{"pass_through_OrinStatus", "healthy.scn", {"ipmi", "OrinStatus"}},
        MemcheckRun{"pass_through_OstrelCapability", "healthy.scn", {"ipmi", "OstrelCapability"}}),
    [](const ::testing::TestParamInfo<MemcheckRun>& info) { return info.param.name; });

}  // namespace
