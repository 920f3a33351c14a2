#pragma once
// Points where the scenario stops the program under test so that a test can
// act on a running update from outside: before the Nth request of a
// controller command, or before a command line runs. What happens there is
// the key's action (`pause_before`: wait until the test lets it go on).

#include <optional>
#include <string>

namespace sim::core {

enum class PointKind { kIpmi, kCommand };

// What is wrong with the value of a hold point key, nothing when it is well formed.
std::optional<std::string> HoldPointProblem(const std::string& key, const std::string& value);

// Called where the program is about to send a controller command (its name
// as the trace names it) or to run a command line; performs the action of
// every point that this occurrence reaches.
void ReachPoint(PointKind kind, const std::string& what);

}  // namespace sim::core
