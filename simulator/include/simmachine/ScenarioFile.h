#pragma once
// A scenario file read without starting a machine, for a runner whose
// program under test runs in another process (or on another kernel). Both
// throw std::runtime_error("scenario FILE:LINE: PROBLEM") for a malformed
// file, as sim::Reset does.

#include <string>
#include <utility>
#include <vector>

namespace sim {

// KEY, VALUE pairs in file order, repeats included.
using ScenarioEntries = std::vector<std::pair<std::string, std::string>>;

// Every setting: the key as written (its words separated by one blank), the
// value (a here-document's lines each with a line feed).
ScenarioEntries ScenarioEntriesOf(const std::string& scenarioPath);

// The expected outcome the scenario states in its `expect.KEY = VALUE` lines,
// KEY without "expect."; the machine itself ignores them.
using Expectations = ScenarioEntries;
Expectations ExpectationsIn(const ScenarioEntries& entries);
Expectations ScenarioExpectationsOf(const std::string& scenarioPath);

}  // namespace sim
