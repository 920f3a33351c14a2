#pragma once
// Points where the scenario stops the program under test so that a test can
// act on a running update from outside: before the Nth request of a
// controller command, or before a command line runs. What happens there is
// the key's action (`pause_before`: wait until the test lets it go on;
// `kill_before`: the process sends itself SIGKILL).

#include <string>

#include "hold_point_form.h"

namespace sim::core {

// Called where the program is about to send a controller command (its name
// as the trace names it) or to run a command line; performs the action of
// every point that this occurrence reaches.
void ReachPoint(PointKind kind, const std::string& what);

}  // namespace sim::core
