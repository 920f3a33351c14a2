#include "controller_commands.h"

#include "controller_model.h"

namespace sim::devices {

const std::vector<ControllerCommand>& ControllerCommands() {
    using Model = ControllerModel;
    constexpr uint8_t kNetFn = kUpdateNetFn;
    constexpr uint8_t kCmd = kUpdateCommand;
    // name, network function, command, operation, request and answer lengths, session,
    // handler, faults taken, in the catalogue's order. A new row also gets its
    // exchanges in simulator/tests/controller_model_test.cpp and a row of the
    // fault matrix's kCommandFailures (library/tests/StagedUpdateScenarios_test.cpp).
    static const std::vector<ControllerCommand> commands = {
        {"OrinStatus", kNetFn, kCmd, 0x01, 3, 5, kSessionFree, &Model::OrinStatus},
        {"OstrelAccessEnabled", kNetFn, kCmd, 0x02, 3, 4, kSessionFree, &Model::AccessEnabled},
        {"OstrelType", kNetFn, kCmd, 0x03, 3, 4, kSessionFree, &Model::StorageType},
        {"SystemGeneration", kNetFn, kCmd, 0x04, 3, 9, kSessionFree, &Model::Generation},
        {"OstrelCapability", kNetFn, kCmd, 0x05, 3, 7, kSessionFree, &Model::Capability},
        {"GUIDEnableCheck", kNetFn, kCmd, 0x06, 3, 6, kSessionFree, &Model::GuidSupport},
        {"BeginOstrelSessionExtend", kNetFn, kCmd, 0x10, 6, 5, kSessionFree, &Model::BeginSession},
        {"EndOstrelSession", kNetFn, kCmd, 0x11, 5, 3, kSessionBound, &Model::EndSession},
        {"CreateDynamicPartition", kNetFn, kCmd, 0x20, 13, 3, kSessionBound, &Model::Create},
        {"AttachDynamicPartition", kNetFn, kCmd, 0x21, 11, 3, kSessionBound, &Model::AttachHandle},
        {"DetachDynamicPartition", kNetFn, kCmd, 0x22, 11, 3, kSessionBound, &Model::DetachHandle},
        {"DeleteDynamicPartition", kNetFn, kCmd, 0x23, 7, 3, kSessionBound, &Model::DeleteHandle},
        {"DynamicPartitionInfo", kNetFn, kCmd, 0x24, 7, 13, kSessionBoundQuery,
         &Model::PartitionInfo},
        {"DynamicPartitionIndexInfo", kNetFn, kCmd, 0x25, 5, 11, kSessionBoundQuery,
         &Model::PartitionIndex},
        {"SecureStageUpdateSHA", kNetFn, kCmd, 0x30, 5, 6, kSessionBound, &Model::StageSha},
        {"PollStatusStageUpdate", kNetFn, kCmd, 0x31, 5, 6, kSessionBound, &Model::PollStage},
        {"SecureStageUpdateGPG", kNetFn, kCmd, 0x33, 5, 6, kSessionBound, &Model::StageGpg},
        {"SecureStageDataTransferSHA", kNetFn, kCmd, 0x34, 5, 3, kSessionBound,
         &Model::StartDigest},
        {"SecureStageXMLHashTransferSHA", kNetFn, kCmd, 0x35, 17, 3, kSessionBound,
         &Model::AppendDigest},
        // The library sends the status poll without its catalogue; the poll
        // itself is never long-running. It checks no session.
        {"poll", kNetFn, kPollCommand, 0x0a, 8, 7, kSessionFree, &Model::Poll, kAnswerFaults,
         false},
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

const ControllerCommand* CommandNamed(const std::string& name) {
    for (const ControllerCommand& command : ControllerCommands()) {
        if (command.name == name)
            return &command;
    }
    return nullptr;
}

}  // namespace sim::devices
