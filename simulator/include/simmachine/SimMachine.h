#pragma once
// Test-side control of the simulated machine. A test starts a fresh machine
// from a scenario, runs library code in the same process and then asserts on
// what the machine saw.

#include <cstdint>
#include <string>
#include <vector>

#include "simmachine/ScenarioFile.h"
#include "simmachine/TraceFile.h"

namespace sim {

// A fresh machine: new sandbox, virtual clock at 0, empty trace, controller
// and disks as the scenario text says. Throws std::runtime_error naming the
// origin ("<text>" or the file), the line and the problem for a malformed scenario.
void Reset(const std::string& scenarioText = "");
void ResetFromFile(const std::string& scenarioPath);
// The machine kept in a sandbox of the test's (below /tmp), as a program run
// with SIMMACHINE_SANDBOX sees it: the one it holds, continued, else a fresh
// one as the scenario text says; saved there after every change, so that
// programs run on the same sandbox meanwhile continue it too.
void ResetIn(const std::string& sandboxPath, const std::string& scenarioText = "");

// The running machine's expected outcome (see ScenarioExpectationsOf).
Expectations ScenarioExpectations();

// Where a path of the simulated machine really lives (inside the sandbox).
std::string SandboxPath(const std::string& machinePath);
std::string SandboxRoot();
std::string TracePath();

std::vector<Event> Trace();
std::vector<Event> TraceOf(const std::string& kind);
// Shell command lines in the order they ran (system and popen; a program
// started without a shell as the command line it equals, each word quoted).
std::vector<std::string> ShellCommands();
// Argument vectors of the programs started without a shell (posix_spawn,
// posix_spawnp), in order.
std::vector<std::vector<std::string>> SpawnedPrograms();
// Lengths of the sleeps in milliseconds, in order (sleep, usleep, nanosleep,
// and select timeouts that expired).
std::vector<uint64_t> SleepsMs();
// Requests the controller received: network function, command, data bytes.
std::vector<std::vector<uint8_t>> IpmiRequests();
// The catalogue names the model matched to those requests ("poll" for the
// fixed status poll, "?" for none).
std::vector<std::string> IpmiRequestNames();
bool HasUnknownCommands();
uint64_t VirtualTimeMs();

// Controller state, for asserting what a run left behind.
bool ControllerSessionOpen();
std::vector<int> ControllerPartitions();  // numbers of the partitions that exist
std::vector<std::string> StagedFiles();   // files the last stage found on the disk

}  // namespace sim
