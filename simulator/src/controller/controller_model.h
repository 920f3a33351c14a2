#pragma once
// The management controller behind the IPMI device: its commands (each a
// row of the command table, with its handler here), the update session, the
// dynamic partitions, the manifest digest, staging, long-running commands and
// the fixed status poll. What it holds between requests (State) is saved
// with a kept machine, so that a later process finds the same controller.

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "controller_commands.h"
#include "controller_settings.h"
#include "partition_plug.h"
#include "sim_core.h"

namespace sim::devices {

class ControllerModel {
public:
    static ControllerModel& Instance();

    // A fresh controller as the scenario describes it. Throws
    // std::runtime_error for a bad setting.
    void Reset(const sim::core::Scenario& scenario);
    // Plugs in the partitions an earlier run left attached (once the disk
    // registry is fresh).
    void AttachLeftovers();

    // The command name of a request (network function, command, data):
    // its row's name in the command table, "?" when the controller has none.
    static std::string NameOf(const std::vector<uint8_t>& request);
    // The answer: network function, command, completion code, data.
    std::vector<uint8_t> Handle(const std::vector<uint8_t>& request);

    // Attached partitions go to `plug` (not owned; nullptr: the simulated
    // machine's disks) from the next Reset on.
    void UsePlug(PartitionPlug* plug);

    bool SessionOpen();
    std::vector<int> Partitions();
    std::vector<std::string> StagedFiles();

    // The virtual clock advanced: a session unused for its time-out ends.
    void ClockAdvanced();
    // What the controller holds, as `controller.` lines of a kept machine.
    void SaveState(sim::core::StateLines& lines);
    void LoadState(const sim::core::StateLines& lines);

private:
    using Message = std::vector<uint8_t>;

    // The command table names the handlers.
    friend const std::vector<ControllerCommand>& ControllerCommands();

    struct Partition {
        bool exists = false;
        std::string name;
        uint16_t units = 0;
        bool attached = false;
        std::string volume;    // made on the first attach, kept until deleted
        int disk = 0;          // key in the disk registry while attached
        uint16_t session = 0;  // the session it was created in; 0: there at start
    };

    struct Session {
        uint16_t id = 0;
        long long owner = 0;     // the process that began it
        uint64_t lastUseMs = 0;  // virtual time of the last request carrying its id
        uint64_t timeoutMs = 0;  // unused this long it ends; 0: never
    };

    // How far the scenario's per-request answers have got in this process.
    struct Script {
        std::vector<CompletionCodeOverride> completionCodes;  // with the counts left
        size_t orinIndex = 0;
        size_t typeIndex = 0;
    };

    // What the controller remembers between requests; a Reset starts afresh,
    // a kept machine saves and loads it.
    struct State {
        std::optional<Session> session;
        std::array<Partition, 16> partitions;
        int volumeSerial = 0;
        std::string lastDetachedVolume;
        bool digestStarted = false;
        std::string digest;
        bool staged = false;
        std::vector<long long> stageStatuses;
        size_t stageIndex = 0;
        std::vector<long long> pollStatuses;  // of the last long-running command
        size_t pollIndex = 0;
        std::vector<std::string> stagedFiles;
    };

    // One per row of the command table, in its order.
    void OrinStatus(const Message& request, Message& answer);
    void AccessEnabled(const Message& request, Message& answer);
    void StorageType(const Message& request, Message& answer);
    void Generation(const Message& request, Message& answer);
    void Capability(const Message& request, Message& answer);
    void GuidSupport(const Message& request, Message& answer);
    void BeginSession(const Message& request, Message& answer);
    void EndSession(const Message& request, Message& answer);
    void Create(const Message& request, Message& answer);
    void AttachHandle(const Message& request, Message& answer);
    void DetachHandle(const Message& request, Message& answer);
    void DeleteHandle(const Message& request, Message& answer);
    void PartitionInfo(const Message& request, Message& answer);
    void PartitionIndex(const Message& request, Message& answer);
    void StageSha(const Message& request, Message& answer);
    void PollStage(const Message& request, Message& answer);
    void StageGpg(const Message& request, Message& answer);
    void StartDigest(const Message& request, Message& answer);
    void AppendDigest(const Message& request, Message& answer);
    void Poll(const Message& request, Message& answer);

    // The answer of a command of the table, once the scenario's answer faults passed it by.
    Message Execute(const ControllerCommand& command, const Message& request, Message answer);
    // The partition a handle at `position` names, else the answer refuses it.
    std::optional<int> PartitionAt(const Message& request, size_t position, Message& answer);
    void Attach(int number, Message& answer);
    void Detach(int number, Message& answer);
    void Delete(int number);
    uint8_t Stage(bool gpg);
    std::optional<int> PartitionOfHandle(uint8_t first, uint8_t second) const;
    uint16_t PartitionMap() const;
    bool OverrideCompletionCode(const Message& request, Message& answer);

    void PlugIn(Partition& partition, int number);
    void Unplug(Partition& partition, int number);

    std::recursive_mutex mutex_;
    PartitionPlug* plug_ = nullptr;
    bool ready_ = false;
    ControllerSettings settings_;
    Script script_;
    State state_;
};

}  // namespace sim::devices
