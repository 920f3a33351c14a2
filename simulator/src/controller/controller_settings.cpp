#include "controller_settings.h"

#include <algorithm>
#include <stdexcept>
#include <type_traits>

#include "controller_wire.h"
#include "sim_core.h"

namespace sim::devices {
namespace {

const std::string kPrefix = "controller.";
constexpr long long kDayMs = 24LL * 3600 * 1000;
constexpr long long kDayMinutes = 24LL * 60;

uint8_t Byte(const SettingLine& line) {
    const long long value = line.scenario.Number(line.key, 0);
    if (value < 0 || value > 0xff)
        throw std::runtime_error(line.key + ": not a byte value");
    return static_cast<uint8_t>(value);
}

std::vector<long long> StatusList(const SettingLine& line) {
    std::vector<long long> values = line.scenario.Numbers(line.key);
    if (values.empty())
        throw std::runtime_error(line.key + ": needs at least one value");
    for (long long value : values) {
        if (value < 0 || value > 0xff)
            throw std::runtime_error(line.key + ": not a byte value");
    }
    return values;
}

// Readers of a plain member, for a row to name with the member it fills.
template <auto kField>
void ReadByte(const SettingLine& line, ControllerSettings& settings) {
    settings.*kField = Byte(line);
}

template <auto kField>
void ReadStatuses(const SettingLine& line, ControllerSettings& settings) {
    settings.*kField = StatusList(line);
}

template <auto kField, long long kHighest>
void ReadCount(const SettingLine& line, ControllerSettings& settings) {
    const long long value = line.scenario.Number(line.key, 0);
    if (value < 0 || value > kHighest)
        throw std::runtime_error(line.key + ": expected 0 to " + std::to_string(kHighest));
    using Count = std::remove_reference_t<decltype(settings.*kField)>;
    settings.*kField = static_cast<Count>(value);
}

void ReadSessionId(const SettingLine& line, ControllerSettings& settings) {
    const long long session = line.scenario.Number(line.key, 0);
    if (session < 0 || session > 0xffff)
        throw std::runtime_error(line.key + ": not a 16-bit value");
    settings.sessionId = static_cast<uint16_t>(session);
}

void ReadSessionTimeout(const SettingLine& line, ControllerSettings& settings) {
    if (line.value == "request") {
        settings.sessionTimeoutMinutes.reset();
        return;
    }
    const long long minutes = line.scenario.Number(line.key, 0);
    if (minutes < 0 || minutes > kDayMinutes)
        throw std::runtime_error(line.key + ": expected request or 0 to " +
                                 std::to_string(kDayMinutes) + " minutes");
    settings.sessionTimeoutMinutes = minutes;
}

void ReadPartition(const SettingLine& line, ControllerSettings& settings) {
    const std::string& number = line.name;
    if (number.empty() || number.size() > 2 ||
        number.find_first_not_of("0123456789") != std::string::npos || std::stoi(number) > 15) {
        throw std::runtime_error(line.key + ": the partition number must be 0 to 15");
    }
    if (line.value.empty() || line.value.size() > 6)
        throw std::runtime_error(line.key + ": the name must have 1 to 6 characters");
    settings.partitions.emplace_back(std::stoi(number), line.value);
}

void ReadCreatedName(const SettingLine& line, ControllerSettings& settings) {
    if (line.value.size() > 6)
        throw std::runtime_error(line.key + ": the name must have at most 6 characters");
    settings.createdName = line.value;
}

void ReadAttached(const SettingLine& line, ControllerSettings& settings) {
    for (const long long number : line.scenario.Numbers(line.key))
        settings.attachedAtStart.push_back(static_cast<int>(number));
}

void ReadCompletionCode(const SettingLine& line, ControllerSettings& settings) {
    const std::vector<long long> numbers = line.scenario.Numbers(line.key);
    if (numbers.empty() || numbers.size() > 2 || numbers[0] < 0 || numbers[0] > 0xff ||
        (numbers.size() == 2 && numbers[1] < 1)) {
        throw std::runtime_error(line.key + ": expected a completion code and an optional count");
    }
    settings.completionCodes.push_back(
        {RequestKey::Parse(line.key, line.name, kCompletionCodeFault),
         static_cast<uint8_t>(numbers[0]), numbers.size() == 2 ? numbers[1] : -1});
}

void ReadResponse(const SettingLine& line, ControllerSettings& settings) {
    std::vector<uint8_t> bytes;
    if (!ParseHexBytes(line.value, &bytes) || bytes.size() < 3) {
        throw std::runtime_error(line.key +
                                 ": expected hexadecimal bytes (network function, command, "
                                 "completion code, data)");
    }
    settings.responses.emplace_back(RequestKey::Parse(line.key, line.name, kResponseFault), bytes);
}

void ReadLongRunning(const SettingLine& line, ControllerSettings& settings) {
    settings.longRunning.emplace_back(RequestKey::Parse(line.key, line.name, kLongRunningFault),
                                      StatusList(line));
}

void ReadDiskLayout(const SettingLine& line, ControllerSettings& settings) {
    if (line.value != "whole" && line.value != "partitioned")
        throw std::runtime_error(line.key + ": expected whole or partitioned");
    settings.diskPartitioned = line.value == "partitioned";
}

void ReadImage(const SettingLine& line, ControllerSettings& settings) {
    if (!line.value.empty() && line.value[0] != '/')
        throw std::runtime_error(line.key + ": needs an absolute path");
    settings.image = line.value;
}

void ReadDiskAddress(const SettingLine& line, ControllerSettings& settings) {
    settings.diskAddress = ParseScsiAddress(line.value);
    if (!settings.diskAddress)
        throw std::runtime_error(line.key + ": expected HOST:CHANNEL:ID:LUN, each 0-255");
}

void ReadFat(const SettingLine& line, ControllerSettings& settings) {
    const std::string& fat = line.value;
    if (fat != "auto" && fat != "12" && fat != "16" && fat != "32")
        throw std::runtime_error(line.key + ": expected auto, 12, 16 or 32");
    settings.fatType = fat == "auto" ? 0 : std::stoi(fat);
}

const ControllerSetting* SettingOf(const std::string& name) {
    for (const ControllerSetting& setting : ControllerSettingTable()) {
        const bool known = setting.IsFamily()
                               ? name.size() > setting.key.size() &&
                                     name.compare(0, setting.key.size(), setting.key) == 0
                               : name == setting.key;
        if (known)
            return &setting;
    }
    return nullptr;
}

// Checks between settings, once every row has been read.
void CheckAttached(const ControllerSettings& settings) {
    for (const int number : settings.attachedAtStart) {
        const bool exists =
            std::any_of(settings.partitions.begin(), settings.partitions.end(),
                        [number](const auto& partition) { return partition.first == number; });
        if (!exists) {
            throw std::runtime_error("controller.attached: partition " + std::to_string(number) +
                                     " has no controller.partition line");
        }
    }
}

}  // namespace

const std::vector<ControllerSetting>& ControllerSettingTable() {
    using S = ControllerSettings;
    // key below "controller.", default (as the README states it), reader
    static const std::vector<ControllerSetting> table = {
        {"orin_status", "0", ReadStatuses<&S::orinStatus>},
        {"ostrel_type", "0", ReadStatuses<&S::ostrelType>},
        {"access", "0", ReadByte<&S::access>},
        {"guid", "0", ReadByte<&S::guid>},
        {"capability", "0x01", ReadByte<&S::capability>},
        {"generation", "22", ReadByte<&S::generation>},
        {"session_id", "0x1234", ReadSessionId},
        {"session_timeout", "request", ReadSessionTimeout},
        {"partition.", "", ReadPartition},
        {"attached", "", ReadAttached},
        {"created_name", "", ReadCreatedName},
        {"stage_status", "2 3", ReadStatuses<&S::stageStatus>},
        {"cc.", "", ReadCompletionCode},
        {"response.", "", ReadResponse},
        {"long_running.", "", ReadLongRunning},
        {"poll_cc", "0", ReadByte<&S::pollCompletionCode>},
        {"disk_layout", "whole", ReadDiskLayout},
        {"disk_visible_after_ms", "0", ReadCount<&S::diskVisibleAfterMs, kDayMs>},
        {"disk_visible_after", "0", ReadCount<&S::diskVisibleAfter, 1000>},
        {"image", "", ReadImage},
        {"disk_address", "", ReadDiskAddress},
        {"fat", "auto", ReadFat},
    };
    return table;
}

ControllerSettings ControllerSettings::FromScenario(const sim::core::Scenario& scenario) {
    // A misspelt key would otherwise leave the default in place unnoticed.
    for (const auto& [key, value] : scenario.WithPrefix(kPrefix)) {
        if (SettingOf(key.substr(kPrefix.size())) == nullptr)
            throw std::runtime_error(key + ": unknown controller key");
    }
    ControllerSettings settings;
    for (const ControllerSetting& setting : ControllerSettingTable()) {
        const std::string key = kPrefix + setting.key;
        if (setting.IsFamily()) {
            for (const auto& [member, value] : scenario.WithPrefix(key))
                setting.read({scenario, member, member.substr(key.size()), value}, settings);
        } else if (scenario.Has(key)) {
            setting.read({scenario, key, "", scenario.Get(key)}, settings);
        } else if (!setting.fallback.empty()) {
            sim::core::Scenario defaults;
            defaults.entries = {{key, setting.fallback}};
            setting.read({defaults, key, "", setting.fallback}, settings);
        }
    }
    CheckAttached(settings);
    return settings;
}

}  // namespace sim::devices
