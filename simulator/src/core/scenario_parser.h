#pragma once
// Reading scenario text into the settings of one machine.

#include <string>
#include <vector>

#include "sim_core.h"

namespace sim::core {

// Keys the machine never reads: how a runner lays out the host's package and
// starts the host program (beside kExpectationPrefix, what it checks after).
constexpr char kPackagePrefix[] = "package.";
constexpr char kHostPrefix[] = "host.";

struct ParsedScenario {
    std::string origin;      // the file name, or "<text>"
    Scenario scenario;       // keys as written, words separated by one blank
    std::vector<int> lines;  // the line of each entry
};

// Throws std::runtime_error("scenario ORIGIN:LINE: PROBLEM") for a malformed line.
ParsedScenario ParseScenario(const std::string& text, const std::string& origin);

// Decimal (optionally negative) or 0x hexadecimal, nothing else around it.
bool ParseNumber(const std::string& text, long long* value);
std::vector<std::string> SplitBlanks(const std::string& text);

// The value of a `command LINE => exit N [output TEXT]` entry is stored as
// "exit N" or "exit N output TEXT"; TEXT gets a line feed.
bool SplitCommandOverride(const std::string& value, int* exitStatus, std::string* output);

// "scenario ORIGIN:LINE" of an entry of the running machine's scenario, for
// errors about values that only the reader of a key can judge.
std::string EntryOrigin(const Scenario& scenario, size_t index);

}  // namespace sim::core
