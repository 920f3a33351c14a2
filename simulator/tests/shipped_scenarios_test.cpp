// Every scenario shipped for the demo and the failure paths starts a machine.

#include <gtest/gtest.h>

#include <filesystem>

#include "simmachine/SimMachine.h"

TEST(ShippedScenarios, EveryFileStartsAMachine) {
    const std::filesystem::path folder =
        std::filesystem::path(KOR_PACKAGE_DIR).parent_path() / "simulator" / "scenarios";
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() != ".scn") {
            continue;
        }
        SCOPED_TRACE(entry.path().string());
        EXPECT_NO_THROW(sim::ResetFromFile(entry.path().string()));
        ++count;
    }
    EXPECT_GT(count, 20);
}
