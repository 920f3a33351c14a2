#pragma once
// Which paths belong to the simulated machine, and where they live.

#include <optional>
#include <string>

#include "machine.h"

namespace sim::core {

// Lexical: repeated slashes, "." and ".." are resolved, a trailing slash dropped.
std::string NormalizePath(const std::string& path);
// For a normalized absolute path.
bool IsSimulatedPath(const std::string& normalizedPath);
// The normalized machine path when `path` is an absolute path of the simulated
// machine; relative paths never are.
std::optional<std::string> SimulatedPath(const char* path);
// The machine path of a sandbox location (for link targets read back).
std::optional<std::string> MachinePathOf(const std::string& sandboxPath);

// The two Norb library files in the machine's Norb directory.
void PlaceNorbLibraries(const MachineSettings& settings);

// The README's default contents, then the scenario's file, dir, executable
// and remove statements in order.
void LayOutSandbox(const Machine& machine);

}  // namespace sim::core
