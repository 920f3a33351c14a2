// The test-side control of the machine (simmachine/SimMachine.h), except the
// controller state, which the devices half answers.

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <stdexcept>

#include "machine.h"
#include "real_files.h"
#include "scenario_parser.h"
#include "sim_core.h"
#include "simmachine/SimMachine.h"

namespace sim {
namespace {

std::vector<std::string> FieldOf(const std::string& kind, const std::string& field) {
    std::vector<std::string> values;
    for (const Event& event : TraceOf(kind)) {
        const auto it = event.fields.find(field);
        values.push_back(it == event.fields.end() ? "" : it->second);
    }
    return values;
}

std::vector<uint8_t> ParseHexBytes(const std::string& text) {
    std::vector<uint8_t> bytes;
    for (const std::string& word : core::SplitBlanks(text)) {
        bytes.push_back(static_cast<uint8_t>(std::strtoul(word.c_str(), nullptr, 16)));
    }
    return bytes;
}

core::ParsedScenario ParseScenarioFile(const std::string& scenarioPath) {
    std::string text;
    if (!core::files::ReadFile(scenarioPath, &text)) {
        throw std::runtime_error("scenario " + scenarioPath +
                                 ": cannot read it: " + std::strerror(errno));
    }
    return core::ParseScenario(text, scenarioPath);
}

}  // namespace

void Reset(const std::string& scenarioText) {
    core::StartMachine(core::ParseScenario(scenarioText, "<text>"));
}

void ResetFromFile(const std::string& scenarioPath) {
    core::StartMachine(ParseScenarioFile(scenarioPath));
}

void ResetIn(const std::string& sandboxPath, const std::string& scenarioText) {
    core::StartMachineIn(core::ParseScenario(scenarioText, "<text>"), sandboxPath,
                         sandboxPath + "/trace.jsonl");
}

Expectations ScenarioExpectations() {
    return core::CurrentScenario().Expectations();
}

std::string SandboxPath(const std::string& machinePath) {
    return core::SandboxPathOf(machinePath);
}

std::string SandboxRoot() {
    return core::SandboxRoot();
}

std::string TracePath() {
    std::lock_guard<std::recursive_mutex> lock(core::MachineMutex());
    return core::RunningMachine().tracePath;
}

std::vector<Event> Trace() {
    // Read past the machine's own stand-ins, as all of its file work is.
    std::string text;
    core::files::ReadFile(TracePath(), &text);
    return ParseTrace(text);
}

std::vector<Event> TraceOf(const std::string& kind) {
    std::vector<Event> matching;
    for (Event& event : Trace()) {
        if (event.kind == kind)
            matching.push_back(std::move(event));
    }
    return matching;
}

std::vector<std::string> ShellCommands() {
    return FieldOf("shell", "command");
}

std::vector<std::vector<std::string>> SpawnedPrograms() {
    std::vector<std::vector<std::string>> programs;
    for (const Event& event : TraceOf("shell")) {
        const auto argv = event.fields.find("argv");
        if (argv == event.fields.end())
            continue;
        programs.push_back(ParseStringArray(argv->second).value_or(std::vector<std::string>{}));
    }
    return programs;
}

std::vector<uint64_t> SleepsMs() {
    std::vector<uint64_t> sleeps;
    for (const std::string& ms : FieldOf("sleep", "ms")) {
        sleeps.push_back(std::strtoull(ms.c_str(), nullptr, 10));
    }
    return sleeps;
}

std::vector<std::vector<uint8_t>> IpmiRequests() {
    std::vector<std::vector<uint8_t>> requests;
    for (const std::string& bytes : FieldOf("ipmi_request", "bytes")) {
        requests.push_back(ParseHexBytes(bytes));
    }
    return requests;
}

std::vector<std::string> IpmiRequestNames() {
    return FieldOf("ipmi_request", "name");
}

bool HasUnknownCommands() {
    return !TraceOf("unknown_command").empty();
}

uint64_t VirtualTimeMs() {
    const core::MachineTransaction transaction;
    return core::NowMs();
}

}  // namespace sim
