// The controller's part of a kept machine: its State as `controller.` lines
// (the session, each partition, the digest and the stage under way), and its
// session's time-out as the virtual clock advances.

#include <cstdlib>
#include <sstream>

#include "controller_model.h"

namespace sim::devices {
namespace {

using sim::core::StateRecord;

const std::string kSession = "controller.session";
const std::string kPartition = "controller.partition.";
const std::string kVolumeSerial = "controller.volume_serial";
const std::string kLastDetached = "controller.last_detached";
const std::string kDigest = "controller.digest";
const std::string kStage = "controller.stage";
const std::string kPoll = "controller.poll";
const std::string kStagedFile = "controller.staged_file";

std::string NumberList(const std::vector<long long>& numbers) {
    std::string text;
    for (const long long number : numbers)
        text += (text.empty() ? "" : ",") + std::to_string(number);
    return text;
}

std::vector<long long> NumbersOf(const std::string& text) {
    std::vector<long long> numbers;
    std::istringstream words(text);
    for (std::string word; std::getline(words, word, ',');)
        numbers.push_back(std::strtoll(word.c_str(), nullptr, 10));
    return numbers;
}

const sim::core::Registration registration([] {
    sim::core::AddClockHandler([] { ControllerModel::Instance().ClockAdvanced(); });
    sim::core::AddStateHandler(
        {[](sim::core::StateLines& lines) { ControllerModel::Instance().SaveState(lines); },
         [](const sim::core::StateLines& lines) { ControllerModel::Instance().LoadState(lines); }});
});

}  // namespace

void ControllerModel::SaveState(sim::core::StateLines& lines) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (const std::optional<Session>& session = state_.session) {
        lines.emplace_back(kSession,
                           StateRecord()
                               .Add("id", session->id)
                               .Add("owner", session->owner)
                               .Add("last_use_ms", static_cast<long long>(session->lastUseMs))
                               .Add("timeout_ms", static_cast<long long>(session->timeoutMs))
                               .Text());
    }
    for (size_t number = 0; number < state_.partitions.size(); ++number) {
        const Partition& partition = state_.partitions[number];
        if (!partition.exists)
            continue;
        lines.emplace_back(kPartition + std::to_string(number),
                           StateRecord()
                               .Add("name", partition.name)
                               .Add("units", partition.units)
                               .Add("attached", partition.attached)
                               .Add("volume", partition.volume)
                               .Add("disk", partition.disk)
                               .Add("session", partition.session)
                               .Text());
    }
    lines.emplace_back(kVolumeSerial, std::to_string(state_.volumeSerial));
    if (!state_.lastDetachedVolume.empty())
        lines.emplace_back(kLastDetached,
                           StateRecord().Add("volume", state_.lastDetachedVolume).Text());
    if (state_.digestStarted)
        lines.emplace_back(kDigest, StateRecord().Add("received", state_.digest).Text());
    if (state_.staged) {
        lines.emplace_back(kStage, StateRecord()
                                       .Add("statuses", NumberList(state_.stageStatuses))
                                       .Add("next", static_cast<long long>(state_.stageIndex))
                                       .Text());
    }
    if (!state_.pollStatuses.empty()) {
        lines.emplace_back(kPoll, StateRecord()
                                      .Add("statuses", NumberList(state_.pollStatuses))
                                      .Add("next", static_cast<long long>(state_.pollIndex))
                                      .Text());
    }
    for (const std::string& file : state_.stagedFiles)
        lines.emplace_back(kStagedFile, StateRecord().Add("name", file).Text());
}

void ControllerModel::LoadState(const sim::core::StateLines& lines) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    State state;
    for (const auto& [key, value] : lines) {
        const StateRecord record = StateRecord::Of(value);
        if (key == kSession) {
            state.session =
                Session{static_cast<uint16_t>(record.Number("id")), record.Number("owner"),
                        static_cast<uint64_t>(record.Number("last_use_ms")),
                        static_cast<uint64_t>(record.Number("timeout_ms"))};
        } else if (key.rfind(kPartition, 0) == 0) {
            const size_t number = std::strtoul(key.c_str() + kPartition.size(), nullptr, 10);
            if (number >= state.partitions.size())
                continue;
            Partition& partition = state.partitions[number];
            partition.exists = true;
            partition.name = record.Get("name");
            partition.units = static_cast<uint16_t>(record.Number("units"));
            partition.attached = record.Number("attached") != 0;
            partition.volume = record.Get("volume");
            partition.disk = static_cast<int>(record.Number("disk"));
            partition.session = static_cast<uint16_t>(record.Number("session"));
        } else if (key == kVolumeSerial) {
            state.volumeSerial = std::atoi(value.c_str());
        } else if (key == kLastDetached) {
            state.lastDetachedVolume = record.Get("volume");
        } else if (key == kDigest) {
            state.digestStarted = true;
            state.digest = record.Get("received");
        } else if (key == kStage) {
            state.staged = true;
            state.stageStatuses = NumbersOf(record.Get("statuses"));
            state.stageIndex = static_cast<size_t>(record.Number("next"));
        } else if (key == kPoll) {
            state.pollStatuses = NumbersOf(record.Get("statuses"));
            state.pollIndex = static_cast<size_t>(record.Number("next"));
        } else if (key == kStagedFile) {
            state.stagedFiles.push_back(record.Get("name"));
        }
    }
    state_ = std::move(state);
}

}  // namespace sim::devices
