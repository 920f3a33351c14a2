#pragma once
// Transport faults the scenario injects: ipmi.fault.NAME = KIND [COUNT], and
// for oversize answers ipmi.fault.NAME = oversize [DATA_BYTES [COUNT]].

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "controller_request_key.h"

namespace sim::core {
class Scenario;
}

namespace sim::devices {

enum class IpmiFault { kNone, kNoAnswer, kForeignId, kOversize, kSendFails, kReceiveFails };

class IpmiFaults {
public:
    static IpmiFaults& Instance();

    // Throws std::runtime_error naming the key of a malformed fault.
    void Reset(const sim::core::Scenario& scenario);
    // The fault that hits this request, counted against its COUNT; for an
    // oversize fault also the answer's number of data bytes.
    IpmiFault Take(const std::vector<uint8_t>& request, size_t* oversizeDataBytes = nullptr);

private:
    struct Entry {
        RequestKey key;
        IpmiFault fault = IpmiFault::kNone;
        long long remaining = 0;
        size_t oversizeDataBytes = 0;
    };

    std::mutex mutex_;
    std::vector<Entry> entries_;
};

}  // namespace sim::devices
