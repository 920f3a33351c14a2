#include "ipmi_faults.h"

#include <sstream>
#include <stdexcept>

#include "controller_request_key.h"
#include "sim_core.h"

namespace sim::devices {
namespace {

IpmiFault FaultNamed(const std::string& kind) {
    if (kind == "no_answer")
        return IpmiFault::kNoAnswer;
    if (kind == "foreign_id")
        return IpmiFault::kForeignId;
    if (kind == "oversize")
        return IpmiFault::kOversize;
    if (kind == "send_fails")
        return IpmiFault::kSendFails;
    if (kind == "receive_fails")
        return IpmiFault::kReceiveFails;
    return IpmiFault::kNone;
}

}  // namespace

IpmiFaults& IpmiFaults::Instance() {
    static IpmiFaults faults;
    return faults;
}

void IpmiFaults::Reset(const sim::core::Scenario& scenario) {
    const std::string prefix = "ipmi.fault.";
    std::vector<Entry> entries;
    for (const auto& [key, value] : scenario.WithPrefix(prefix)) {
        std::istringstream words(value);
        std::string kind;
        std::string count = "1";
        std::string extra;
        words >> kind >> count >> extra;
        Entry entry{key.substr(prefix.size()), FaultNamed(kind), 0};
        if (entry.fault == IpmiFault::kNone || !extra.empty() || count.empty() ||
            count.size() > 9 || count.find_first_not_of("0123456789") != std::string::npos ||
            std::stoll(count) < 1) {
            throw std::runtime_error(key +
                                     ": expected no_answer, foreign_id, oversize, send_fails or "
                                     "receive_fails and an optional count of at least 1");
        }
        entry.remaining = std::stoll(count);
        entries.push_back(entry);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    entries_ = std::move(entries);
}

IpmiFault IpmiFaults::Take(const std::string& name, const std::vector<uint8_t>& request) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Entry& entry : entries_) {
        if (entry.remaining > 0 && RequestKeyMatches(entry.key, name, request)) {
            --entry.remaining;
            return entry.fault;
        }
    }
    return IpmiFault::kNone;
}

}  // namespace sim::devices
