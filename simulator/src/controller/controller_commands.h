#pragma once
// The controller's own command set, one row per command: which request it
// is, how long its request and its answer are, whether it needs the update
// session, what the controller does with it and which of the scenario's
// per-command faults it takes. A real controller knows its commands and never
// reads the host's ipmi_cmd.ini, so a fault in how the library reads that
// file cannot be mirrored here; a test compares the shipped file with this
// table.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim::devices {

class ControllerModel;

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
// BeginOstrelSessionExtend: the time-out it asks for, in minutes; its answer
constexpr size_t kSessionTimeout = 6;
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
// the fixed status poll: 30 A2 0A <session low> <session high> <operation> 00 00,
// answered 31 A2 <cc> 0A <operation> <status> 00
constexpr size_t kPollOperation = 6;
constexpr size_t kPollAnswerOperation = 5;
constexpr size_t kPollStatus = 6;
}  // namespace position

// The scenario's per-command faults, each a family of keys ending in the
// command's name. A command takes those its row lists; a request the table
// lacks takes the answer faults by NETFN:CMD only.
enum CommandFault : unsigned {
    kCompletionCodeFault = 1u << 0,  // controller.cc.NAME
    kResponseFault = 1u << 1,        // controller.response.NAME
    kLongRunningFault = 1u << 2,     // controller.long_running.NAME
    kTransportFault = 1u << 3,       // ipmi.fault.NAME
};
constexpr unsigned kAnswerFaults = kCompletionCodeFault | kResponseFault | kTransportFault;
constexpr unsigned kEveryFault = kAnswerFaults | kLongRunningFault;

// A bound command carries the open session's id at positions 4-5 and is
// refused (0xCC) without it. A bound query is refused so only while a
// session is open: while none is, the controller answers it to anyone, as it
// changes nothing. (What real controllers do without a session is not
// documented; this is the assumption updatehost --status rests on: a query
// without a session id is answered, or refused with 0xCC while a session is open.)
enum SessionUse { kSessionFree, kSessionBound, kSessionBoundQuery };

// Fills in the answer (network function, command, completion code 0, the
// operation echoed, zeros up to the answer length), or refuses.
using CommandHandler = void (ControllerModel::*)(const std::vector<uint8_t>& request,
                                                 std::vector<uint8_t>& answer);

struct ControllerCommand {
    std::string name;  // as the library's catalogue names it, and the faults' NAME
    uint8_t netFn = 0;
    uint8_t command = 0;
    uint8_t operation = 0;  // position 3
    unsigned requestLength = 0;
    unsigned responseLength = 0;
    SessionUse session = kSessionFree;
    CommandHandler handler = nullptr;
    unsigned faults = kEveryFault;  // the CommandFault kinds it takes
    bool catalogued = true;         // described by the shipped ipmi_cmd.ini

    bool Takes(CommandFault fault) const { return (faults & fault) != 0; }
};

const std::vector<ControllerCommand>& ControllerCommands();
// The command a request (network function, command code, data) is; null for none.
const ControllerCommand* CommandOf(const std::vector<uint8_t>& request);
// The command of that name; null for none.
const ControllerCommand* CommandNamed(const std::string& name);

}  // namespace sim::devices
