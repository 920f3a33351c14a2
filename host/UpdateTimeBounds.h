#pragma once
// How long one update can take at most: every bounded wait of the library at
// its bound, summed. A supervisor that kills updatehost sooner (a fleet's time
// limit) leaves the controller mid-update, so the fleet playbook's limit is
// checked against this figure; it is derived here and nowhere else.

#include <string>

// The sum, in whole seconds (rounded up).
long long UpdateTimeBoundSeconds();
// The time limit to give a supervisor by default: the bound rounded up to
// whole hours, which leaves room for the work between the waits (copying
// and digesting the payload, the commands' own run time).
long long SupervisorTimeLimitSeconds();
// The arithmetic, as --help prints it: one line per wait, then the sum.
std::string UpdateTimeBoundTable();
