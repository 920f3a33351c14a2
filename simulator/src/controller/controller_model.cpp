#include "controller_model.h"

#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <utility>

#include "controller_stage_check.h"
#include "controller_wire.h"
#include "disk_registry.h"
#include "fat_image.h"
#include "mount_table.h"
#include "sim_core.h"

namespace sim::devices {
namespace fs = std::filesystem;
namespace {

using sim::core::TraceNumber;
using sim::core::TraceText;

namespace at = position;

constexpr uint8_t kAppNetFn = 0x06;
constexpr uint8_t kGetDeviceId = 0x01;

// Completion codes of the IPMI standard the model answers with.
constexpr uint8_t kLongRunning = 0x02;
constexpr uint8_t kNotAttached = 0x06;  // detach of a partition that is not attached
constexpr uint8_t kOutOfSpace = 0xc4;
constexpr uint8_t kInvalidCommand = 0xc1;
constexpr uint8_t kOutOfRange = 0xc9;
constexpr uint8_t kNotPresent = 0xcb;
constexpr uint8_t kInvalidField = 0xcc;
constexpr uint8_t kWrongState = 0xd5;
constexpr uint8_t kUnspecified = 0xff;

constexpr uint8_t kStagePending = 2;
constexpr uint8_t kChecksumFailed = 38;
constexpr uint64_t kUnitBytes = 32768;
constexpr uint64_t kMinuteMs = uint64_t{60} * 1000;
constexpr uint16_t kDefaultUnits = 35;

void Event(const std::string& event, std::vector<sim::core::TraceField> fields = {}) {
    fields.insert(fields.begin(), TraceText("event", event));
    sim::core::Trace("controller", fields);
}

// An error answer carries no data, as the controller's firmware sends it.
void Refuse(std::vector<uint8_t>& answer, uint8_t code) {
    answer.resize(3);
    answer[2] = code;
}

uint8_t Next(const std::vector<long long>& values, size_t& index) {
    const long long value = values[std::min(index, values.size() - 1)];
    ++index;
    return static_cast<uint8_t>(value);
}

std::string TextAt(const std::vector<uint8_t>& request, size_t first, size_t count) {
    std::string text;
    for (size_t position = first; position < first + count; ++position) {
        const uint8_t byte = ByteAt(request, position);
        if (byte == 0)
            break;
        text += static_cast<char>(byte);
    }
    return text;
}

// mkfs.vfat takes a partition name as the volume label only when FAT allows it.
std::string VolumeLabel(const std::string& name) {
    const bool usable = !name.empty() && name.find_first_not_of(
                                             "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                             "0123456789_-") == std::string::npos;
    return usable ? name : "SECUPD";
}

}  // namespace

ControllerModel& ControllerModel::Instance() {
    static ControllerModel model;
    return model;
}

void ControllerModel::Reset(const sim::core::Scenario& scenario) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    ready_ = false;
    settings_ = ControllerSettings::FromScenario(scenario);
    script_ = Script{};
    script_.completionCodes = settings_.completionCodes;
    state_ = State{};
    for (const auto& [number, name] : settings_.partitions) {
        state_.partitions[number].exists = true;
        state_.partitions[number].name = name;
        state_.partitions[number].units = kDefaultUnits;
    }
    ready_ = true;
}

void ControllerModel::AttachLeftovers() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    for (const int number : settings_.attachedAtStart) {
        Message answer(3, 0);
        Attach(number, answer);
        if (answer[2] != 0)
            throw std::runtime_error("controller.attached: partition " + std::to_string(number) +
                                     " cannot be attached");
    }
}

std::string ControllerModel::NameOf(const std::vector<uint8_t>& request) {
    const ControllerCommand* command = CommandOf(request);
    return command != nullptr ? command->name : "?";
}

std::vector<uint8_t> ControllerModel::Handle(const std::vector<uint8_t>& request) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!ready_)
        Reset(sim::core::CurrentScenario());
    // Any request carrying the session's id shows that its owner is still there.
    if (state_.session && ByteAt(request, at::kSessionLow) == (state_.session->id & 0xff) &&
        ByteAt(request, at::kSessionHigh) == state_.session->id >> 8)
        state_.session->lastUseMs = sim::core::NowMs();
    for (const auto& [key, bytes] : settings_.responses) {
        if (key.Matches(request))
            return bytes;
    }
    Message answer = {static_cast<uint8_t>(ByteAt(request, 1) | 1), ByteAt(request, 2), 0};
    if (OverrideCompletionCode(request, answer))
        return answer;
    if (const ControllerCommand* command = CommandOf(request))
        return Execute(*command, request, std::move(answer));
    if (ByteAt(request, 1) == kAppNetFn && ByteAt(request, 2) == kGetDeviceId) {
        // Device id, revision with SDRs, firmware 1.23, IPMI 2.0, the usual
        // device support bits, no manufacturer, product 1, no auxiliary data.
        answer.insert(answer.end(), {0x20, 0x81, 0x01, 0x23, 0x02, 0xbf, 0x00, 0x00, 0x00, 0x01,
                                     0x00, 0x00, 0x00, 0x00, 0x00});
        return answer;
    }
    Refuse(answer, kInvalidCommand);
    return answer;
}

ControllerModel::Message ControllerModel::Execute(const ControllerCommand& command,
                                                  const Message& request, Message answer) {
    answer.resize(std::max<size_t>(command.responseLength, at::kCompletionCode));
    PutByte(answer, at::kOperationEcho, ByteAt(request, at::kOperation));
    const bool checksSession = command.session == kSessionBound ||
                               (command.session == kSessionBoundQuery && state_.session);
    if (checksSession) {
        const uint16_t carried = static_cast<uint16_t>(ByteAt(request, at::kSessionLow) |
                                                       ByteAt(request, at::kSessionHigh) << 8);
        if (!state_.session || state_.session->id != carried) {
            Event("session refused",
                  {TraceText("command", command.name), TraceNumber("session", carried)});
            Refuse(answer, kInvalidField);
            return answer;
        }
    }
    (this->*command.handler)(request, answer);
    for (const auto& [key, statuses] : settings_.longRunning) {
        if (answer[2] == 0 && key.Matches(request)) {
            answer[2] = kLongRunning;
            state_.pollStatuses = statuses;
            state_.pollIndex = 0;
            break;
        }
    }
    return answer;
}

bool ControllerModel::OverrideCompletionCode(const Message& request, Message& answer) {
    for (CompletionCodeOverride& override : script_.completionCodes) {
        if (override.remaining == 0 || !override.key.Matches(request))
            continue;
        if (override.remaining > 0)
            --override.remaining;
        if (override.code == 0)
            return false;
        Refuse(answer, override.code);
        return true;
    }
    return false;
}

void ControllerModel::OrinStatus(const Message&, Message& answer) {
    PutByte(answer, at::kOrinStatus, Next(settings_.orinStatus, script_.orinIndex));
}

void ControllerModel::AccessEnabled(const Message&, Message& answer) {
    PutByte(answer, at::kAccess, settings_.access);
}

void ControllerModel::StorageType(const Message&, Message& answer) {
    PutByte(answer, at::kStorageType, Next(settings_.ostrelType, script_.typeIndex));
}

void ControllerModel::Generation(const Message&, Message& answer) {
    PutByte(answer, at::kGeneration, settings_.generation);
}

void ControllerModel::Capability(const Message&, Message& answer) {
    PutByte(answer, at::kCapability, settings_.capability);
}

void ControllerModel::GuidSupport(const Message&, Message& answer) {
    PutByte(answer, at::kGuidSupport, settings_.guid);
}

// One update session at a time: the controller cannot tell that the owner of
// the open one is gone, so a begin waits for its end or its time-out.
void ControllerModel::BeginSession(const Message& request, Message& answer) {
    if (state_.session) {
        Event("session busy", {TraceNumber("session", state_.session->id),
                               TraceNumber("owner", state_.session->owner)});
        Refuse(answer, kWrongState);
        return;
    }
    const uint16_t id = settings_.sessionId;
    const long long owner = getpid();
    if (id != 0) {
        const long long minutes =
            settings_.sessionTimeoutMinutes.value_or(ByteAt(request, at::kSessionTimeout));
        state_.session =
            Session{id, owner, sim::core::NowMs(), static_cast<uint64_t>(minutes) * kMinuteMs};
    }
    Event(id != 0 ? "session opened" : "session not opened",
          {TraceNumber("session", id), TraceNumber("owner", owner)});
    PutByte(answer, at::kNewSessionLow, static_cast<uint8_t>(id & 0xff));
    PutByte(answer, at::kNewSessionHigh, static_cast<uint8_t>(id >> 8));
}

void ControllerModel::EndSession(const Message&, Message&) {
    Event("session ended", {TraceNumber("session", state_.session ? state_.session->id : 0)});
    state_.session.reset();
}

// A session left unused for its time-out ends, and the partitions created in
// it go with it: their disks are unplugged wherever they are mounted.
void ControllerModel::ClockAdvanced() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!state_.session || state_.session->timeoutMs == 0)
        return;
    const uint64_t idleMs = sim::core::NowMs() - state_.session->lastUseMs;
    if (idleMs < state_.session->timeoutMs)
        return;
    const Session ended = *state_.session;
    state_.session.reset();
    Event("session timed out", {TraceNumber("session", ended.id), TraceNumber("owner", ended.owner),
                                TraceNumber("idle_ms", static_cast<long long>(idleMs))});
    for (size_t number = 0; number < state_.partitions.size(); ++number) {
        if (state_.partitions[number].exists && state_.partitions[number].session == ended.id)
            Delete(static_cast<int>(number));
    }
}

std::optional<int> ControllerModel::PartitionAt(const Message& request, size_t position,
                                                Message& answer) {
    const std::optional<int> number =
        PartitionOfHandle(ByteAt(request, position), ByteAt(request, position + 1));
    if (!number)
        Refuse(answer, kOutOfRange);
    return number;
}

void ControllerModel::AttachHandle(const Message& request, Message& answer) {
    if (const std::optional<int> number = PartitionAt(request, at::kAttachHandle, answer))
        Attach(*number, answer);
}

void ControllerModel::DetachHandle(const Message& request, Message& answer) {
    if (const std::optional<int> number = PartitionAt(request, at::kAttachHandle, answer))
        Detach(*number, answer);
}

void ControllerModel::DeleteHandle(const Message& request, Message& answer) {
    if (const std::optional<int> number = PartitionAt(request, at::kDeleteHandle, answer))
        Delete(*number);
}

void ControllerModel::PartitionIndex(const Message&, Message& answer) {
    const uint16_t map = PartitionMap();
    PutByte(answer, at::kMapHigh, static_cast<uint8_t>(map >> 8));
    PutByte(answer, at::kMapLow, static_cast<uint8_t>(map & 0xff));
}

void ControllerModel::StartDigest(const Message&, Message&) {
    state_.digestStarted = true;
    state_.digest.clear();
    Event("digest transfer started");
}

void ControllerModel::StageSha(const Message&, Message& answer) {
    PutByte(answer, at::kStageStatus, Stage(false));
}

void ControllerModel::StageGpg(const Message&, Message& answer) {
    PutByte(answer, at::kStageStatus, Stage(true));
}

void ControllerModel::PollStage(const Message&, Message& answer) {
    if (!state_.staged) {
        Refuse(answer, kWrongState);
        return;
    }
    PutByte(answer, at::kStageStatus, Next(state_.stageStatuses, state_.stageIndex));
}

// How the last command that answered 0x02 is doing.
void ControllerModel::Poll(const Message& request, Message& answer) {
    if (settings_.pollCompletionCode != 0) {
        Refuse(answer, settings_.pollCompletionCode);
        return;
    }
    PutByte(answer, at::kPollAnswerOperation, ByteAt(request, at::kPollOperation));
    if (!state_.pollStatuses.empty())
        PutByte(answer, at::kPollStatus, Next(state_.pollStatuses, state_.pollIndex));
}

void ControllerModel::Create(const Message& request, Message& answer) {
    const uint16_t units = static_cast<uint16_t>(ByteAt(request, at::kCreateUnits) |
                                                 ByteAt(request, at::kCreateUnits + 1) << 8);
    const std::string name =
        settings_.createdName.value_or(TextAt(request, at::kCreateName, at::kPartitionNameBytes));
    if (units == 0) {
        Refuse(answer, kInvalidField);
        return;
    }
    for (size_t number = 0; number < state_.partitions.size(); ++number) {
        Partition& partition = state_.partitions[number];
        if (partition.exists)
            continue;
        partition = Partition{};
        partition.exists = true;
        partition.name = name;
        partition.units = units;
        partition.session = state_.session ? state_.session->id : 0;
        Event("partition created", {TraceNumber("partition", static_cast<long long>(number)),
                                    TraceText("name", name), TraceNumber("units", units)});
        return;
    }
    Refuse(answer, kOutOfSpace);
}

void ControllerModel::Attach(int number, Message& answer) {
    Partition& partition = state_.partitions[number];
    if (partition.attached)
        return;
    std::error_code ignored;
    if (partition.volume.empty()) {
        const std::string directory = sim::core::SandboxRoot() + "/.controller";
        fs::create_directories(directory, ignored);
        const std::string volume = directory + "/partition-" + std::to_string(number) + "-" +
                                   std::to_string(++state_.volumeSerial) + ".img";
        std::string error;
        if (!settings_.image.empty()) {
            fs::copy_file(settings_.image, volume, fs::copy_options::overwrite_existing, ignored);
            if (ignored)
                error = "cannot copy " + settings_.image + ": " + ignored.message();
        } else {
            FatImage::Create(volume, uint64_t{partition.units} * kUnitBytes,
                             VolumeLabel(partition.name), settings_.fatType, &error);
        }
        if (!error.empty()) {
            Event("partition not attached",
                  {TraceNumber("partition", number), TraceText("why", error)});
            Refuse(answer, kUnspecified);
            return;
        }
        partition.volume = volume;
    }
    PlugIn(partition, number);
    partition.attached = true;
    Event("partition attached",
          {TraceNumber("partition", number), TraceText("name", partition.name)});
}

void ControllerModel::Detach(int number, Message& answer) {
    Partition& partition = state_.partitions[number];
    if (!partition.attached) {
        Refuse(answer, kNotAttached);
        return;
    }
    Unplug(partition, number);
    partition.attached = false;
    state_.lastDetachedVolume = partition.volume;
    Event("partition detached",
          {TraceNumber("partition", number), TraceText("name", partition.name)});
}

void ControllerModel::Delete(int number) {
    Partition& partition = state_.partitions[number];
    if (partition.attached)
        Unplug(partition, number);
    Event("partition deleted",
          {TraceNumber("partition", number), TraceText("name", partition.name)});
    partition = Partition{};
}

void ControllerModel::PlugIn(Partition& partition, int number) {
    if (plug_ != nullptr) {
        plug_->Plug(number, partition.volume);
        return;
    }
    std::error_code ignored;
    DiskSetup setup;
    setup.label = VolumeLabel(partition.name);
    setup.volume = partition.volume;
    setup.volumeBytes = fs::file_size(partition.volume, ignored);
    setup.fatType = settings_.fatType;
    setup.partitioned = settings_.diskPartitioned;
    setup.emulated = true;
    setup.rescansBeforeVisible = settings_.diskVisibleAfter;
    setup.visibleAtMs = sim::core::NowMs() + settings_.diskVisibleAfterMs;
    setup.controllerUsb = true;
    setup.address = settings_.diskAddress;
    partition.disk = DiskRegistry::Instance().Add(setup);
}

void ControllerModel::Unplug(Partition& partition, int number) {
    if (plug_ != nullptr) {
        plug_->Unplug(number);
        return;
    }
    // What was written through a mount still in place reaches the volume,
    // as the host's flush before the detach would have done.
    MountTable::Instance().VolumeGone(partition.volume);
    DiskRegistry::Instance().Remove(partition.disk);
}

void ControllerModel::PartitionInfo(const Message& request, Message& answer) {
    const uint8_t number = ByteAt(request, at::kInfoNumber);
    if (number >= state_.partitions.size()) {
        Refuse(answer, kOutOfRange);
        return;
    }
    const Partition& partition = state_.partitions[number];
    if (!partition.exists) {
        Refuse(answer, kNotPresent);
        return;
    }
    PutByte(answer, at::kInfoAnswerNumber, number);
    PutByte(answer, at::kInfoAttached, partition.attached ? 1 : 0);
    PutByte(answer, at::kInfoUnits, static_cast<uint8_t>(partition.units & 0xff));
    PutByte(answer, at::kInfoUnits + 1, static_cast<uint8_t>(partition.units >> 8));
    for (size_t i = 0; i < at::kPartitionNameBytes; ++i) {
        PutByte(answer, at::kInfoName + i, i < partition.name.size() ? partition.name[i] : 0);
    }
}

void ControllerModel::AppendDigest(const Message& request, Message& answer) {
    if (!state_.digestStarted) {
        Refuse(answer, kWrongState);
        return;
    }
    const std::string piece = TextAt(request, at::kDigestPiece, at::kDigestPieceBytes);
    if (state_.digest.size() + piece.size() > 64) {
        Refuse(answer, kOutOfRange);
        return;
    }
    state_.digest += piece;
    if (state_.digest.size() == 64)
        Event("digest received", {TraceText("digest", state_.digest)});
}

uint8_t ControllerModel::Stage(bool gpg) {
    StageCheckResult result;
    if (state_.lastDetachedVolume.empty()) {
        result.reason = "no partition was detached";
    } else {
        if (plug_ != nullptr)
            plug_->Settle();
        const std::string scratch = sim::core::SandboxRoot() + "/.controller/stage-check";
        std::error_code ignored;
        fs::remove_all(scratch, ignored);
        fs::create_directories(scratch, ignored);
        result = gpg ? StageCheck::Gpg(state_.lastDetachedVolume, scratch)
                     : StageCheck::Sha(state_.lastDetachedVolume, state_.digest, scratch);
    }
    state_.stagedFiles = result.files;
    state_.stageStatuses = settings_.stageStatus;
    if (!result.passed) {
        // A pending stage reports the failed check at its next poll.
        state_.stageStatuses = state_.stageStatuses.front() == kStagePending
                                   ? std::vector<long long>{kStagePending, kChecksumFailed}
                                   : std::vector<long long>{kChecksumFailed};
    }
    state_.staged = true;
    state_.stageIndex = 0;
    Event("stage", {TraceText("method", gpg ? "GPG" : "SHA"),
                    TraceText("result", result.passed ? "passed" : "failed"),
                    TraceText("why", result.reason)});
    return Next(state_.stageStatuses, state_.stageIndex);
}

std::optional<int> ControllerModel::PartitionOfHandle(uint8_t first, uint8_t second) const {
    // The handle goes on the wire in the partition map's order: the high byte
    // of the partition's bit first.
    const unsigned mask = unsigned{first} << 8 | second;
    if (mask == 0 || (mask & (mask - 1)) != 0)
        return std::nullopt;
    const int number = __builtin_ctz(mask);
    if (!state_.partitions[number].exists)
        return std::nullopt;
    return number;
}

uint16_t ControllerModel::PartitionMap() const {
    uint16_t map = 0;
    for (size_t number = 0; number < state_.partitions.size(); ++number) {
        if (state_.partitions[number].exists)
            map |= static_cast<uint16_t>(1u << number);
    }
    return map;
}

void ControllerModel::UsePlug(PartitionPlug* plug) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    plug_ = plug;
}

bool ControllerModel::SessionOpen() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return state_.session.has_value();
}

std::vector<int> ControllerModel::Partitions() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    std::vector<int> numbers;
    for (size_t number = 0; number < state_.partitions.size(); ++number) {
        if (state_.partitions[number].exists)
            numbers.push_back(static_cast<int>(number));
    }
    return numbers;
}

std::vector<std::string> ControllerModel::StagedFiles() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return state_.stagedFiles;
}

}  // namespace sim::devices
