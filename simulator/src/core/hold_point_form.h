#pragma once
// The form of a hold point key's value: "ipmi NAME [N]" (before the Nth
// request of a controller command) or "command LINE" (before a command line
// runs). Read by the scenario parser, which rejects a malformed line, and by
// the machine, which sets the point up.

#include <optional>
#include <string>

namespace sim::core {

enum class PointKind { kIpmi, kCommand };

struct PointForm {
    PointKind kind = PointKind::kIpmi;
    std::string what;   // the command's name, or the command line without its outer blanks
    long long nth = 1;  // the occurrence it holds before
};

// The point a value names; nothing, with the problem, when it is malformed.
std::optional<PointForm> ParsePointForm(const std::string& value, std::string* problem);

// What is wrong with the value of a hold point key, nothing when it is well formed.
std::optional<std::string> HoldPointProblem(const std::string& key, const std::string& value);

// A command line as hold points compare it: without its outer blanks.
std::string TrimBlanks(const std::string& text);

}  // namespace sim::core
