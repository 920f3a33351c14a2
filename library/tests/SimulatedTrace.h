#pragma once
// The simulated machine's trace as the end-to-end tests read it: one event
// per line, its kind and its members as text.

#include <map>
#include <string>
#include <vector>

namespace hosttest {

struct TraceEvent {
    std::string kind;
    std::map<std::string, std::string> fields;

    std::string Field(const std::string& name) const;
};

std::vector<TraceEvent> ReadTrace(const std::string& path);

}  // namespace hosttest
