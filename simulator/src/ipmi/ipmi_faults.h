#pragma once
// Transport faults the scenario injects: ipmi.fault.NAME = KIND [COUNT].

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

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
    // The fault that hits this request, counted against its COUNT.
    IpmiFault Take(const std::string& name, const std::vector<uint8_t>& request);

private:
    struct Entry {
        std::string key;
        IpmiFault fault = IpmiFault::kNone;
        long long remaining = 0;
    };

    std::mutex mutex_;
    std::vector<Entry> entries_;
};

}  // namespace sim::devices
