#pragma once
// The shell of the simulated machine: command lines are recorded and
// answered, never executed.

#include <string>

#include "sim_core.h"

namespace sim::core {

// The scenario's override of the line, else the devices half's handlers,
// else the core's emulation of the library's own command lines; anything
// else is unknown and fails with 127. Records the line either way.
CommandResult RunCommandLine(const std::string& line, const char* via);
// Records a line that is refused without looking at it, as unknown.
void RecordUnknownCommand(const std::string& line, const char* via);

}  // namespace sim::core
