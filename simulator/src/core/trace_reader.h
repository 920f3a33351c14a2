#pragma once
// Reading the trace back: one JSON object per line, whose members are
// strings, numbers, booleans or arrays of strings.

#include <optional>
#include <string>
#include <vector>

#include "simmachine/SimMachine.h"

namespace sim::core {

// Lines that are not flat JSON objects are skipped.
std::vector<sim::Event> ReadTraceFile(const std::string& path);
// The elements of a member that holds an array of strings.
std::optional<std::vector<std::string>> ParseStringArray(const std::string& json);

}  // namespace sim::core
