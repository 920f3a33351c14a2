#pragma once
// The parts of the machine that the core emulates itself: kernel modules,
// processes, the HAL daemon, Norb, root rights, uname, umount failures and the
// command overrides. Built from the scenario at every reset, changed by the
// emulated commands.

#include <map>
#include <set>
#include <string>
#include <vector>

#include "sim_core.h"

namespace sim::core {

struct KernelModule {
    std::string state;      // loaded, loadable, unloadable, loads-invisibly, builtin
    bool inserted = false;  // a loads-invisibly module that modprobe inserted
    int rmmodFailures = 0;  // rmmod fails this many more times
};

struct CommandOverride {
    std::string line;
    int exitStatus = 0;
    std::string output;
};

struct MachineSettings {
    static MachineSettings FromScenario(const Scenario& scenario);

    std::string Uname(const std::string& field) const;
    bool IsEsxi() const;
    // Where an installed Norb lives on this machine.
    std::string NorbDirectory() const;

    bool root = true;
    std::map<std::string, KernelModule> modules;
    std::set<std::string> processes;
    std::string haldaemon;  // running, stopped, or empty: never set up
    std::string norb = "absent";
    int umountFailures = 0;
    std::vector<CommandOverride> overrides;
    std::map<std::string, std::string> uname;
};

}  // namespace sim::core
