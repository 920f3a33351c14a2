#pragma once
// The shell of the simulated machine: command lines are recorded and
// answered, never executed.

#include <string>
#include <vector>

#include "sim_core.h"

namespace sim::core {

// The scenario's override of the line, else the devices half's handlers,
// else the core's emulation of the library's own command lines; anything
// else is unknown and fails with 127. Records the line either way.
CommandResult RunCommandLine(const std::string& line, const char* via);
// A program started from an argument vector, which no shell interprets: the
// scenario's override of the command line it equals with each word quoted,
// else the devices half's program handlers, else the core's emulation;
// anything else fails with 127. Recorded as a shell command "via" spawn with
// the argv beside the command line.
CommandResult RunProgram(const std::vector<std::string>& argv);
// The word as a POSIX shell reads it back: bare when it has only characters
// no shell treats specially, else in single quotes.
std::string ShellQuoted(const std::string& word);

// Records a line that is refused without looking at it, as unknown.
void RecordUnknownCommand(const std::string& line, const char* via);

}  // namespace sim::core
