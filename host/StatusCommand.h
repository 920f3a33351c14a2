#pragma once
// updatehost --status: whether an update runs on this machine now, and what
// the controller and the machine hold of one (a running one's, or what a
// killed one left). Changes nothing: the lock is only looked at, the
// controller only asked (no session is opened), the machine only read.

#include <string>

class ReportChannel;

// The exit status: success when nothing runs and nothing is left,
// update-running, leftovers, or a failure to learn the controller's state.
int RunStatus(const std::string& libraryPath, const std::string& packageDirectory,
              ReportChannel& channel);
