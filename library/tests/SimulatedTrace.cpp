#include "SimulatedTrace.h"

#include <fstream>
#include <regex>

namespace hosttest {

std::string TraceEvent::Field(const std::string& name) const {
    const auto found = fields.find(name);
    return found == fields.end() ? std::string() : found->second;
}

std::vector<TraceEvent> ReadTrace(const std::string& path) {
    // Members are strings without nested objects, numbers or booleans.
    static const std::regex kMember(R"re("(\w+)":("((?:[^"\\]|\\.)*)"|[-\w.]+))re");
    std::vector<TraceEvent> events;
    std::ifstream trace(path);
    for (std::string line; std::getline(trace, line);) {
        TraceEvent event;
        for (std::sregex_iterator member(line.begin(), line.end(), kMember), end; member != end;
             ++member) {
            const std::string value =
                (*member)[3].matched ? (*member)[3].str() : (*member)[2].str();
            event.fields[(*member)[1].str()] = value;
        }
        event.kind = event.Field("kind");
        events.push_back(std::move(event));
    }
    return events;
}

}  // namespace hosttest
