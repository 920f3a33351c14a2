#include "controller_commands.h"

namespace sim::devices {

const std::vector<ControllerCommand>& ControllerCommands() {
    // name, network function, command, operation, request and answer lengths, session
    static const std::vector<ControllerCommand> commands = {
        {"OrinStatus", kUpdateNetFn, kUpdateCommand, 0x01, 3, 5, false},
        {"OstrelAccessEnabled", kUpdateNetFn, kUpdateCommand, 0x02, 3, 4, false},
        {"OstrelType", kUpdateNetFn, kUpdateCommand, 0x03, 3, 4, false},
        {"SystemGeneration", kUpdateNetFn, kUpdateCommand, 0x04, 3, 9, false},
        {"OstrelCapability", kUpdateNetFn, kUpdateCommand, 0x05, 3, 7, false},
        {"GUIDEnableCheck", kUpdateNetFn, kUpdateCommand, 0x06, 3, 6, false},
        {"BeginOstrelSessionExtend", kUpdateNetFn, kUpdateCommand, 0x10, 6, 5, false},
        {"EndOstrelSession", kUpdateNetFn, kUpdateCommand, 0x11, 5, 3, true},
        {"CreateDynamicPartition", kUpdateNetFn, kUpdateCommand, 0x20, 13, 3, true},
        {"AttachDynamicPartition", kUpdateNetFn, kUpdateCommand, 0x21, 11, 3, true},
        {"DetachDynamicPartition", kUpdateNetFn, kUpdateCommand, 0x22, 11, 3, true},
        {"DeleteDynamicPartition", kUpdateNetFn, kUpdateCommand, 0x23, 7, 3, true},
        {"DynamicPartitionInfo", kUpdateNetFn, kUpdateCommand, 0x24, 7, 13, true},
        {"DynamicPartitionIndexInfo", kUpdateNetFn, kUpdateCommand, 0x25, 5, 11, true},
        {"SecureStageUpdateSHA", kUpdateNetFn, kUpdateCommand, 0x30, 5, 6, true},
        {"PollStatusStageUpdate", kUpdateNetFn, kUpdateCommand, 0x31, 5, 6, true},
        {"SecureStageUpdateGPG", kUpdateNetFn, kUpdateCommand, 0x33, 5, 6, true},
        {"SecureStageDataTransferSHA", kUpdateNetFn, kUpdateCommand, 0x34, 5, 3, true},
        {"SecureStageXMLHashTransferSHA", kUpdateNetFn, kUpdateCommand, 0x35, 17, 3, true},
    };
    return commands;
}

const ControllerCommand* CommandOf(const std::vector<uint8_t>& request) {
    if (request.size() < 3)
        return nullptr;
    for (const ControllerCommand& command : ControllerCommands()) {
        if (request[0] == command.netFn && request[1] == command.command &&
            request[2] == command.operation) {
            return &command;
        }
    }
    return nullptr;
}

}  // namespace sim::devices
