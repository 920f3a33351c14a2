#pragma once
// The running machine: its scenario, sandbox, trace file, virtual clock and
// emulated settings. One process runs one machine at a time; a reset replaces
// it with a fresh one. A machine in a named sandbox is kept there: saved after
// every change, continued by the next process on that sandbox.

#include <sys/types.h>

#include <cstdint>
#include <mutex>
#include <string>

#include "machine_settings.h"
#include "scenario_parser.h"

namespace sim::core {

struct Machine {
    ParsedScenario parsed;
    MachineSettings settings;
    std::string sandbox;      // the sandbox root, without a trailing slash
    bool ownSandbox = false;  // made here, so removed here
    std::string tracePath;
    int traceFd = -1;
    uint64_t nextSeq = 1;
    uint64_t clockNs = 0;
    bool kept = false;       // saved in its sandbox for other processes
    int storeLock = -1;      // the sandbox's lock file, locked while a transaction runs
    int transactions = 0;    // depth of the running MachineTransaction
    std::string storedText;  // the saved state as this process last read or wrote it
};

// Guards everything the simulator keeps. Recursive: handlers of the devices
// half run with it held and call back into the core.
std::recursive_mutex& MachineMutex();

// With the mutex held: the running machine. A process in which nobody reset
// the machine (the host program under LD_PRELOAD) starts one from the
// SIMMACHINE_* environment here; a malformed scenario then ends the process
// with status 2.
Machine& RunningMachine();
bool MachineRunning();

// A fresh machine in a fresh sandbox below /tmp, replacing the running one.
void StartMachine(ParsedScenario parsed);
// A machine kept in the named sandbox (which must lie below /tmp), replacing
// the running one: the one the sandbox holds, continued, else a fresh one.
void StartMachineIn(ParsedScenario parsed, const std::string& sandbox,
                    const std::string& tracePath);

}  // namespace sim::core
