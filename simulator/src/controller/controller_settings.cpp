#include "controller_settings.h"

#include <algorithm>
#include <stdexcept>

#include "controller_wire.h"
#include "sim_core.h"

namespace sim::devices {
namespace {

uint8_t Byte(const sim::core::Scenario& scenario, const std::string& key, long long fallback) {
    const long long value = scenario.Number(key, fallback);
    if (value < 0 || value > 0xff)
        throw std::runtime_error(key + ": not a byte value");
    return static_cast<uint8_t>(value);
}

std::vector<long long> StatusList(const sim::core::Scenario& scenario, const std::string& key,
                                  std::vector<long long> fallback) {
    std::vector<long long> values = scenario.Has(key) ? scenario.Numbers(key) : fallback;
    if (values.empty())
        throw std::runtime_error(key + ": needs at least one value");
    for (long long value : values) {
        if (value < 0 || value > 0xff)
            throw std::runtime_error(key + ": not a byte value");
    }
    return values;
}

// A misspelt key would otherwise leave the default in place unnoticed.
void RejectUnknownKeys(const sim::core::Scenario& scenario) {
    static const std::vector<std::string> kKeys = {"orin_status",
                                                   "ostrel_type",
                                                   "access",
                                                   "guid",
                                                   "capability",
                                                   "generation",
                                                   "session_id",
                                                   "attached",
                                                   "stage_status",
                                                   "poll_cc",
                                                   "disk_layout",
                                                   "disk_visible_after",
                                                   "disk_visible_after_ms",
                                                   "image",
                                                   "disk_address",
                                                   "fat"};
    static const std::vector<std::string> kFamilies = {"partition.", "cc.", "response.",
                                                       "long_running."};
    const std::string prefix = "controller.";
    for (const auto& [key, value] : scenario.WithPrefix(prefix)) {
        const std::string name = key.substr(prefix.size());
        const bool known =
            std::find(kKeys.begin(), kKeys.end(), name) != kKeys.end() ||
            std::any_of(kFamilies.begin(), kFamilies.end(), [&name](const std::string& family) {
                return name.size() > family.size() && name.compare(0, family.size(), family) == 0;
            });
        if (!known)
            throw std::runtime_error(key + ": unknown controller key");
    }
}

}  // namespace

ControllerSettings ControllerSettings::FromScenario(const sim::core::Scenario& scenario) {
    RejectUnknownKeys(scenario);
    ControllerSettings settings;
    settings.orinStatus = StatusList(scenario, "controller.orin_status", {0});
    settings.ostrelType = StatusList(scenario, "controller.ostrel_type", {0});
    settings.access = Byte(scenario, "controller.access", 0);
    settings.guid = Byte(scenario, "controller.guid", 0);
    settings.capability = Byte(scenario, "controller.capability", 0x01);
    settings.generation = Byte(scenario, "controller.generation", 22);
    const long long session = scenario.Number("controller.session_id", 0x1234);
    if (session < 0 || session > 0xffff) {
        throw std::runtime_error("controller.session_id: not a 16-bit value");
    }
    settings.sessionId = static_cast<uint16_t>(session);
    settings.stageStatus = StatusList(scenario, "controller.stage_status", {2, 3});
    settings.pollCompletionCode = Byte(scenario, "controller.poll_cc", 0);

    const std::string layout = scenario.Get("controller.disk_layout", "whole");
    if (layout != "whole" && layout != "partitioned") {
        throw std::runtime_error("controller.disk_layout: expected whole or partitioned");
    }
    settings.diskPartitioned = layout == "partitioned";
    const long long visibleAfter = scenario.Number("controller.disk_visible_after", 0);
    if (visibleAfter < 0 || visibleAfter > 1000) {
        throw std::runtime_error("controller.disk_visible_after: expected 0 to 1000");
    }
    settings.diskVisibleAfter = static_cast<int>(visibleAfter);
    const long long visibleAfterMs = scenario.Number("controller.disk_visible_after_ms", 0);
    if (visibleAfterMs < 0 || visibleAfterMs > 24LL * 3600 * 1000) {
        throw std::runtime_error("controller.disk_visible_after_ms: expected 0 to 86400000");
    }
    settings.diskVisibleAfterMs = static_cast<uint64_t>(visibleAfterMs);
    settings.image = scenario.Get("controller.image");
    if (!settings.image.empty() && settings.image[0] != '/')
        throw std::runtime_error("controller.image: needs an absolute path");
    if (scenario.Has("controller.disk_address")) {
        settings.diskAddress = ParseScsiAddress(scenario.Get("controller.disk_address"));
        if (!settings.diskAddress) {
            throw std::runtime_error(
                "controller.disk_address: expected HOST:CHANNEL:ID:LUN, each 0-255");
        }
    }
    const std::string fat = scenario.Get("controller.fat", "auto");
    if (fat != "auto" && fat != "12" && fat != "16" && fat != "32") {
        throw std::runtime_error("controller.fat: expected auto, 12, 16 or 32");
    }
    settings.fatType = fat == "auto" ? 0 : std::stoi(fat);

    const std::string partitionPrefix = "controller.partition.";
    for (const auto& [key, name] : scenario.WithPrefix(partitionPrefix)) {
        const std::string number = key.substr(partitionPrefix.size());
        if (number.empty() || number.size() > 2 ||
            number.find_first_not_of("0123456789") != std::string::npos || std::stoi(number) > 15) {
            throw std::runtime_error(key + ": the partition number must be 0 to 15");
        }
        if (name.empty() || name.size() > 6) {
            throw std::runtime_error(key + ": the name must have 1 to 6 characters");
        }
        settings.partitions.emplace_back(std::stoi(number), name);
    }

    for (const long long number : scenario.Numbers("controller.attached")) {
        const bool exists =
            std::any_of(settings.partitions.begin(), settings.partitions.end(),
                        [number](const auto& partition) { return partition.first == number; });
        if (!exists) {
            throw std::runtime_error("controller.attached: partition " + std::to_string(number) +
                                     " has no controller.partition line");
        }
        settings.attachedAtStart.push_back(static_cast<int>(number));
    }

    const std::string ccPrefix = "controller.cc.";
    for (const auto& [key, value] : scenario.WithPrefix(ccPrefix)) {
        const std::vector<long long> numbers = scenario.Numbers(key);
        if (numbers.empty() || numbers.size() > 2 || numbers[0] < 0 || numbers[0] > 0xff ||
            (numbers.size() == 2 && numbers[1] < 1)) {
            throw std::runtime_error(key + ": expected a completion code and an optional count");
        }
        settings.completionCodes.push_back({key.substr(ccPrefix.size()),
                                            static_cast<uint8_t>(numbers[0]),
                                            numbers.size() == 2 ? numbers[1] : -1});
    }

    const std::string responsePrefix = "controller.response.";
    for (const auto& [key, value] : scenario.WithPrefix(responsePrefix)) {
        std::vector<uint8_t> bytes;
        if (!ParseHexBytes(value, &bytes) || bytes.size() < 3) {
            throw std::runtime_error(key +
                                     ": expected hexadecimal bytes (network function, command, "
                                     "completion code, data)");
        }
        settings.responses.emplace_back(key.substr(responsePrefix.size()), bytes);
    }

    const std::string longPrefix = "controller.long_running.";
    for (const auto& [key, value] : scenario.WithPrefix(longPrefix)) {
        settings.longRunning.emplace_back(key.substr(longPrefix.size()),
                                          StatusList(scenario, key, {}));
    }
    return settings;
}

}  // namespace sim::devices
