#pragma once
// The simulated machine's trace as the end-to-end tests read it: the
// simulator's own reader, under the names these tests use.

#include <simmachine/TraceFile.h>

#include <string>
#include <vector>

namespace hosttest {

using TraceEvent = sim::Event;

inline std::vector<TraceEvent> ReadTrace(const std::string& path) {
    return sim::ReadTraceFile(path);
}

}  // namespace hosttest
