#pragma once
// The controller's behaviour as the scenario's controller.* keys describe it.
// Each member is filled by its row of ControllerSettingTable(), which also
// holds its default.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "controller_request_key.h"
#include "controller_setting_table.h"
#include "scsi_address.h"

namespace sim::core {
class Scenario;
}

namespace sim::devices {

struct CompletionCodeOverride {
    RequestKey key;
    uint8_t code = 0;
    long long remaining = -1;  // requests still to answer so; negative: every one
};

struct ControllerSettings {
    std::vector<long long> orinStatus;  // one value per request, the last repeats
    std::vector<long long> ostrelType;
    uint8_t access = 0;
    uint8_t guid = 0;
    uint8_t capability = 0;
    uint8_t generation = 0;
    uint16_t sessionId = 0;
    std::optional<long long> sessionTimeoutMinutes;       // unset: what the begin request asks
    std::vector<std::pair<int, std::string>> partitions;  // present at start
    std::vector<int> attachedAtStart;                     // left attached by an earlier run
    std::optional<std::string> createdName;  // every new partition's, instead of the requested
    std::vector<long long> stageStatus;      // the stage answer, then one per poll
    std::vector<CompletionCodeOverride> completionCodes;
    std::vector<std::pair<RequestKey, std::vector<uint8_t>>> responses;
    std::vector<std::pair<RequestKey, std::vector<long long>>> longRunning;
    uint8_t pollCompletionCode = 0;
    // The attached partition's disk.
    bool diskPartitioned = false;
    int diskVisibleAfter = 0;                // blockdev runs before it shows up
    uint64_t diskVisibleAfterMs = 0;         // virtual milliseconds after the attach
    int fatType = 0;                         // 0: mkfs.vfat chooses
    std::string image;                       // a volume file each partition's first attach copies
    std::optional<ScsiAddress> diskAddress;  // unset: a new hot-plug host, LUN 1

    // Throws std::runtime_error naming the key of an unknown setting or a
    // value out of range.
    static ControllerSettings FromScenario(const sim::core::Scenario& scenario);
};

// One scenario line a row of the table reads.
struct SettingLine {
    const sim::core::Scenario& scenario;
    std::string key;    // whole, "controller." included
    std::string name;   // of a family's key: what follows the family (NAME of cc.NAME)
    std::string value;  // the line's value, or the row's default
};

}  // namespace sim::devices
