// The running machine's reading of its scenario's settings.

#include <optional>
#include <stdexcept>

#include "scenario_parser.h"

namespace sim::core {
namespace {

long long NumberOf(const Scenario& scenario, size_t index) {
    long long value = 0;
    const auto& entry = scenario.entries[index];
    if (!ParseNumber(entry.second, &value)) {
        throw std::runtime_error(EntryOrigin(scenario, index) + ": '" + entry.first +
                                 "' is not a number: '" + entry.second + "'");
    }
    return value;
}

std::optional<size_t> LastIndexOf(const Scenario& scenario, const std::string& key) {
    for (size_t i = scenario.entries.size(); i > 0; --i) {
        if (scenario.entries[i - 1].first == key)
            return i - 1;
    }
    return std::nullopt;
}

}  // namespace

bool Scenario::Has(const std::string& key) const {
    return LastIndexOf(*this, key).has_value();
}

std::string Scenario::Get(const std::string& key, const std::string& fallback) const {
    const std::optional<size_t> index = LastIndexOf(*this, key);
    return index ? entries[*index].second : fallback;
}

long long Scenario::Number(const std::string& key, long long fallback) const {
    const std::optional<size_t> index = LastIndexOf(*this, key);
    return index ? NumberOf(*this, *index) : fallback;
}

std::vector<std::string> Scenario::List(const std::string& key) const {
    return SplitBlanks(Get(key));
}

std::vector<long long> Scenario::Numbers(const std::string& key) const {
    std::vector<long long> numbers;
    const std::optional<size_t> index = LastIndexOf(*this, key);
    if (!index)
        return numbers;
    for (const std::string& word : SplitBlanks(entries[*index].second)) {
        long long value = 0;
        if (!ParseNumber(word, &value)) {
            throw std::runtime_error(EntryOrigin(*this, *index) + ": '" + key +
                                     "' is not a list of numbers: '" + entries[*index].second +
                                     "'");
        }
        numbers.push_back(value);
    }
    return numbers;
}

}  // namespace sim::core
