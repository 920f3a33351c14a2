#pragma once
// Reading the trace back: one flat JSON object per line.

#include <string>
#include <vector>

#include "simmachine/SimMachine.h"

namespace sim::core {

// Lines that are not flat JSON objects are skipped.
std::vector<sim::Event> ReadTraceFile(const std::string& path);

}  // namespace sim::core
