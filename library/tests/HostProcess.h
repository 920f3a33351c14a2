#pragma once
// Runs the host program as a process of its own inside the simulated machine:
// updatehost and the shipped library in a package directory, the simulator
// preloaded, the scenario, trace and sandbox in the environment.

#include <sys/types.h>

#include <string>
#include <vector>

namespace hosttest {

struct HostProcess {
    std::string packageDirectory;  // also the working directory
    std::string scenarioPath;
    std::string tracePath;
    // Created if missing, kept after the run for what it left behind.
    std::string sandboxPath;
    // Put in front of the program, for example a valgrind command line.
    std::vector<std::string> wrapper;
    std::vector<std::string> arguments;
};

struct HostOutcome {
    int exitStatus = -1;  // 128 + signal when it was killed
    std::string output;   // standard output
    std::string errors;   // standard error
    long peakResidentKiB = 0;
};

// Lays out a package directory for the scenario with the script the demo
// uses (the package skeleton, updatehost, the library and the scenario's
// package.* changes); returns the host's arguments for it (its
// host.arguments, else --json).
std::vector<std::string> LayOutPackage(const std::string& directory,
                                       const std::string& scenarioPath);

HostOutcome RunHost(const HostProcess& process);

// The host started and not yet waited for (a second one may start on the
// same sandbox meanwhile): Finish waits for it. Its output goes to files
// beside the package directory.
struct StartedHost {
    pid_t pid = -1;
    std::string outputPath;
    std::string errorsPath;
};
StartedHost StartHost(const HostProcess& process);
HostOutcome Finish(const StartedHost& started);

// Another program run inside the process's machine (its sandbox and trace),
// in the package directory: `sleep 3600` lets an hour pass there.
HostOutcome RunInMachine(const HostProcess& process, const std::vector<std::string>& command);

// What RunHost gives the host: the simulator preloaded, the scenario, trace
// and sandbox (made when missing).
std::vector<std::string> HostEnvironment(const HostProcess& process);
// Runs the command in the directory with exactly this environment and
// collects what it prints.
HostOutcome RunProgram(const std::vector<std::string>& command,
                       const std::vector<std::string>& environment, const std::string& directory);

}  // namespace hosttest
