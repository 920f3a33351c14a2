#include "file_events.h"

#include <cstring>

namespace sim::core {

void RecordFileEvent(const char* op, const std::string& machinePath, bool succeeded,
                     unsigned access, int error, const std::vector<TraceField>& extra) {
    if (!succeeded && (access & kWrites) == 0)
        return;
    if (!succeeded && (access & kProbes) != 0 && machinePath.compare(0, 5, "/dev/") == 0)
        return;
    std::vector<TraceField> fields = {TraceText("op", op), TraceText("path", machinePath)};
    fields.insert(fields.end(), extra.begin(), extra.end());
    if (!succeeded) {
        const char* name = strerrorname_np(error);
        fields.push_back(TraceText("error", name != nullptr ? name : std::to_string(error)));
    }
    Trace("file", fields);
}

}  // namespace sim::core
