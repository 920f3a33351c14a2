#pragma once
// The controller's own command set: which request is which command, how long
// its request and its answer are, and whether it needs the update session.
// A real controller knows its commands and never reads the host's
// ipmi_cmd.ini, so a fault in how the library reads that file cannot be
// mirrored here; a test compares the shipped file with this table.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim::devices {

constexpr uint8_t kUpdateNetFn = 0x30;
constexpr uint8_t kUpdateCommand = 0xa1;
constexpr uint8_t kPollCommand = 0xa2;  // the fixed status poll of long-running commands

// Byte positions, 1-based over the whole message as the controller's
// interface counts them: 1 the network function, 2 the command code.
namespace position {
// every update request
constexpr size_t kOperation = 3;
constexpr size_t kSessionLow = 4;
constexpr size_t kSessionHigh = 5;
// every answer
constexpr size_t kCompletionCode = 3;
constexpr size_t kOperationEcho = 4;
// answers of the status queries
constexpr size_t kOrinStatus = 5;
constexpr size_t kAccess = 4;
constexpr size_t kStorageType = 4;
constexpr size_t kGeneration = 9;
constexpr size_t kCapability = 7;
constexpr size_t kGuidSupport = 6;
// BeginOstrelSessionExtend's answer
constexpr size_t kNewSessionLow = 4;
constexpr size_t kNewSessionHigh = 5;
// CreateDynamicPartition's request: units low byte first, then the name
constexpr size_t kCreateUnits = 6;
constexpr size_t kCreateName = 8;
constexpr size_t kPartitionNameBytes = 6;
// partition handles: the bit's high byte first
constexpr size_t kAttachHandle = 10;
constexpr size_t kDeleteHandle = 6;
// DynamicPartitionInfo: the number asked for, and the answer
constexpr size_t kInfoNumber = 7;
constexpr size_t kInfoAnswerNumber = 4;
constexpr size_t kInfoAttached = 5;
constexpr size_t kInfoUnits = 6;
constexpr size_t kInfoName = 8;
// DynamicPartitionIndexInfo's answer: the map of existing partitions
constexpr size_t kMapHigh = 10;
constexpr size_t kMapLow = 11;
// SecureStageXMLHashTransferSHA: a piece of the manifest digest's text
constexpr size_t kDigestPiece = 8;
constexpr size_t kDigestPieceBytes = 10;
// stage commands and their poll: the stage status
constexpr size_t kStageStatus = 6;
// the fixed status poll: 30 A2 0A <session low> <session high> <operation> 00 00
constexpr size_t kPollOperation = 6;
}  // namespace position

struct ControllerCommand {
    std::string name;  // as the library's catalogue names it
    uint8_t netFn = 0;
    uint8_t command = 0;
    uint8_t operation = 0;  // position 3
    unsigned requestLength = 0;
    unsigned responseLength = 0;
    bool sessionRequired = false;
};

const std::vector<ControllerCommand>& ControllerCommands();
// The command a request (network function, command code, data) is; null for none.
const ControllerCommand* CommandOf(const std::vector<uint8_t>& request);

}  // namespace sim::devices
