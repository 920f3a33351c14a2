#pragma once
// The simulated machine's trace read back: one JSON object per line, whose
// members are strings, numbers, booleans or arrays of strings. For the
// machine's own queries (SimMachine.h) and for programs that read a trace a
// machine in another process wrote, without running one themselves.

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sim {

struct Event {
    std::string kind;
    std::map<std::string, std::string> fields;  // every member, numbers as text
    std::string json;                           // the trace line itself

    // A member's text; empty when the event has none.
    std::string Field(const std::string& name) const;
};

// Lines that are not flat JSON objects are skipped.
std::vector<Event> ParseTrace(const std::string& text);
// Empty when the file cannot be read.
std::vector<Event> ReadTraceFile(const std::string& path);
// The elements of a member that holds an array of strings.
std::optional<std::vector<std::string>> ParseStringArray(const std::string& json);

}  // namespace sim
