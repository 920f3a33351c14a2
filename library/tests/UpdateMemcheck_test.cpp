// One whole staged update of the sample package under valgrind's memcheck:
// no memory error and no definite leak in the host, the library or the
// simulator's stand-ins.
#include <gtest/gtest.h>

#include <kortest/TemporaryDirectory.h>
#include <fstream>
#include <sstream>
#include <string>

#include "HostProcess.h"

namespace {

TEST(UpdateMemcheck, AWholeUpdateHasNoMemoryErrorAndNoDefiniteLeak) {
    if (std::string(KOR_VALGRIND).empty() ||
        std::string(KOR_VALGRIND).find("NOTFOUND") != std::string::npos)
        GTEST_SKIP() << "valgrind is not installed";
    kortest::TemporaryDirectory directory;
    hosttest::HostProcess process;
    process.packageDirectory = directory.Join("package");
    process.scenarioPath = std::string(KOR_SOURCE_DIR) + "/simulator/scenarios/healthy.scn";
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
    EXPECT_EQ(outcome.exitStatus, 0) << outcome.output << outcome.errors << text.str();
    EXPECT_NE(text.str().find("ERROR SUMMARY: 0 errors"), std::string::npos) << text.str();
}

}  // namespace
