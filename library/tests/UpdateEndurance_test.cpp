// A hundred complete updates in one host process, as a host that updates
// many components loads the library once: every update is staged, every
// device handle opened is closed, and the host's peak resident memory is no
// higher than for a single update.
#include <gtest/gtest.h>

#include <kortest/TemporaryDirectory.h>
#include <iostream>
#include <string>

#include "HostProcess.h"
#include "SimulatedTrace.h"

namespace {

// A leak of an update's buffers (the payload, the manifest, the catalogue)
// would pass this long before the hundredth update.
constexpr long kResidentToleranceKiB = 1024;

struct Endurance {
    hosttest::HostOutcome host;
    size_t handlesOpened = 0;
    size_t handlesClosed = 0;
};

Endurance RunUpdates(int updates) {
    const std::string scenario = std::string(KOR_SOURCE_DIR) + "/simulator/scenarios/healthy.scn";
    kortest::TemporaryDirectory directory;
    hosttest::HostProcess process;
    process.packageDirectory = directory.Join("package");
    hosttest::LayOutPackage(process.packageDirectory, scenario);
    process.scenarioPath = scenario;
    process.tracePath = directory.Join("trace.jsonl");
    process.sandboxPath = directory.Join("sandbox");
    process.arguments = {"--updates", std::to_string(updates)};
    Endurance run;
    run.host = hosttest::RunHost(process);
    for (const hosttest::TraceEvent& event : hosttest::ReadTrace(process.tracePath)) {
        run.handlesOpened += event.kind == "ipmi_open";
        run.handlesClosed += event.kind == "ipmi_close";
    }
    return run;
}

TEST(UpdateEndurance, AHundredUpdatesInOneProcessHoldHandlesAndMemoryFlat) {
    const Endurance one = RunUpdates(1);
    const Endurance hundred = RunUpdates(100);
    std::cout << "100 updates: device handles " << hundred.handlesOpened << " opened, "
              << hundred.handlesClosed << " closed; peak resident KiB " << one.host.peakResidentKiB
              << " (1 update) -> " << hundred.host.peakResidentKiB << " (100 updates)\n";
    ASSERT_EQ(one.host.exitStatus, 0) << one.host.errors;
    EXPECT_EQ(hundred.host.exitStatus, 0) << hundred.host.errors;
    EXPECT_EQ(hundred.handlesClosed, hundred.handlesOpened);
#if !defined(__SANITIZE_THREAD__) && !defined(__SANITIZE_ADDRESS__)
    // The sanitizers' own bookkeeping (quarantine, shadow memory) grows with
    // every update: memory is held flat in the plain build only.
    EXPECT_LE(hundred.host.peakResidentKiB - one.host.peakResidentKiB, kResidentToleranceKiB);
#endif
}

}  // namespace
