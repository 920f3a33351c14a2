#include "ipmi_faults.h"

#include <sstream>
#include <stdexcept>

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

// An oversize answer carries this many data bytes unless the scenario says;
// the driver's receive buffer holds 253.
constexpr size_t kDefaultOversizeDataBytes = 300;
// ipmi_msg counts its data bytes in 16 bits.
constexpr long long kMaxDataBytes = 0xFFFF;

// A decimal number of at most nine digits, or -1.
long long ReadNumber(const std::string& text) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    return std::stoll(text);
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
        words >> kind;
        Entry entry{RequestKey(), FaultNamed(kind), 0, kDefaultOversizeDataBytes};
        std::string size = std::to_string(kDefaultOversizeDataBytes);
        if (entry.fault == IpmiFault::kOversize)
            words >> size;
        std::string count = "1";
        std::string extra;
        words >> count >> extra;
        const long long dataBytes = ReadNumber(size);
        entry.remaining = ReadNumber(count);
        if (entry.fault == IpmiFault::kNone || !extra.empty() || entry.remaining < 1 ||
            dataBytes < 1 || dataBytes > kMaxDataBytes) {
            throw std::runtime_error(key +
                                     ": expected no_answer, foreign_id, oversize [DATA_BYTES], "
                                     "send_fails or receive_fails and an optional count of at "
                                     "least 1");
        }
        entry.oversizeDataBytes = static_cast<size_t>(dataBytes);
        entry.key = RequestKey::Parse(key, key.substr(prefix.size()), kTransportFault);
        entries.push_back(entry);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    entries_ = std::move(entries);
}

IpmiFault IpmiFaults::Take(const std::vector<uint8_t>& request, size_t* oversizeDataBytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Entry& entry : entries_) {
        if (entry.remaining > 0 && entry.key.Matches(request)) {
            --entry.remaining;
            if (oversizeDataBytes != nullptr)
                *oversizeDataBytes = entry.oversizeDataBytes;
            return entry.fault;
        }
    }
    return IpmiFault::kNone;
}

}  // namespace sim::devices
