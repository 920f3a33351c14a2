// A whole staged update end to end, one scenario per situation: updatehost
// loads the shipped library in a package directory of its own and runs inside
// the simulated machine. Every scenario file of simulator/scenarios states its
// outcome in expect lines, checked here:
//
//   expect.status, expect.message_id, expect.message, expect.device_type
//                                   every record the host got
//   expect.effects = A, B, ...      what the controller and the machine saw,
//                                   in order, repeats folded (see Effects);
//                                   "none" for nothing
//   expect.sent = NAME COUNT        how often a command was sent (repeatable)
//   expect.sleeps = MSxCOUNT ...    every pause taken ("none", the default)
//   expect.ran = COMMAND LINE       a shell command line that ran, byte for byte
//   expect.logged = TEXT            a text in the library's log
//   expect.partitions_left = N ...  partitions the controller would not let go
//   expect.sessions_left_open = N   sessions it never heard the end of
//   expect.records = N              records the host got (1, the default, per update)
//   expect.statuses = S1 S2 ...     the status of each record, in order
//
// and every run also shows that nothing is left behind: no partition on the
// controller, no open session, no udev rule, nothing mounted, no device link,
// no unknown command, and a log file exactly when the marker asks for one.
#include <gtest/gtest.h>
#include <simmachine/SimMachine.h>

#include <kortest/TemporaryDirectory.h>
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "HostProcess.h"
#include "SimulatedTrace.h"

namespace {

namespace fs = std::filesystem;
using hosttest::TraceEvent;

const std::string kScenarioFolder = std::string(KOR_SOURCE_DIR) + "/simulator/scenarios";

struct Record {
    int status = -1;
    int messageID = -1;
    std::string message;
    int deviceType = -1;
};

// What one run of the host left: its records and the machine's view.
struct UpdateRun {
    hosttest::HostOutcome host;
    std::vector<Record> records;
    std::vector<TraceEvent> trace;
    std::string sandbox;
    std::string package;
};

std::vector<Record> ParseRecords(const std::string& json) {
    static const std::regex kRecord(
        R"re(\{"status":(-?\d+),"messageID":(-?\d+),"errorMessage":"((?:[^"\\]|\\.)*)".*?"deviceType":(\d+)\})re");
    std::vector<Record> records;
    for (std::sregex_iterator match(json.begin(), json.end(), kRecord), end; match != end;
         ++match) {
        records.push_back({std::stoi((*match)[1].str()), std::stoi((*match)[2].str()),
                           (*match)[3].str(), std::stoi((*match)[4].str())});
    }
    return records;
}

// Names of the effects some commands stand for.
const std::map<std::string, std::string> kCommandEffects = {
    {"OstrelType", "environment checks"},    {"OstrelAccessEnabled", "environment checks"},
    {"OrinStatus", "environment checks"},    {"GUIDEnableCheck", "security method"},
    {"OstrelCapability", "security method"}, {"PollStatusStageUpdate", "status poll"},
};

// The controller-visible effects of a run, consecutive repeats folded: the
// controller's own events, the queries, the payload written onto the mounted
// partition and the status polls.
std::vector<std::string> Effects(const std::vector<TraceEvent>& trace) {
    std::vector<std::string> effects;
    auto add = [&effects](const std::string& effect) {
        if (effects.empty() || effects.back() != effect)
            effects.push_back(effect);
    };
    for (const TraceEvent& event : trace) {
        if (event.kind == "controller") {
            add(event.Field("event"));
        } else if (event.kind == "ipmi_request") {
            const auto effect = kCommandEffects.find(event.Field("name"));
            if (effect != kCommandEffects.end())
                add(effect->second);
        } else if (event.kind == "file" && event.Field("path").rfind("/tmp/SECUPD/", 0) == 0 &&
                   event.Field("op") != "stat" && event.Field("op") != "opendir") {
            add("payload written");
        }
    }
    return effects;
}

int CountSent(const std::vector<TraceEvent>& trace, const std::string& name) {
    int count = 0;
    for (const TraceEvent& event : trace)
        count += event.kind == "ipmi_request" && event.Field("name") == name;
    return count;
}

std::map<long long, int> Sleeps(const std::vector<TraceEvent>& trace) {
    std::map<long long, int> sleeps;
    for (const TraceEvent& event : trace) {
        if (event.kind == "sleep" && event.Field("ms") != "0")
            ++sleeps[std::stoll(event.Field("ms"))];
    }
    return sleeps;
}

// Partitions on the controller at the end: those the scenario starts with,
// plus those created, minus those deleted.
std::vector<std::string> PartitionsLeft(const std::string& scenarioPath,
                                        const std::vector<TraceEvent>& trace) {
    std::set<std::string> present;
    std::ifstream scenario(scenarioPath);
    static const std::regex kPartition(R"(^controller\.partition\.(\d+)\s*=)");
    std::smatch match;
    for (std::string line; std::getline(scenario, line);) {
        if (std::regex_search(line, match, kPartition))
            present.insert(match[1].str());
    }
    for (const TraceEvent& event : trace) {
        if (event.kind != "controller")
            continue;
        if (event.Field("event") == "partition created")
            present.insert(event.Field("partition"));
        if (event.Field("event") == "partition deleted")
            present.erase(event.Field("partition"));
    }
    return {present.begin(), present.end()};
}

// What a scenario lets the controller keep: what it would not let go of.
struct ControllerLeftovers {
    std::vector<std::string> partitions;
    int openSessions = 0;
    bool deviceLink = false;  // when the command that removes it fails
};

void ExpectNothingLeftBehind(const std::string& scenarioPath, const ControllerLeftovers& kept,
                             const UpdateRun& run) {
    EXPECT_EQ(PartitionsLeft(scenarioPath, run.trace), kept.partitions)
        << "partitions left on the controller";
    int opened = 0;
    int ended = 0;
    for (const TraceEvent& event : run.trace) {
        opened += event.kind == "controller" && event.Field("event") == "session opened";
        ended += event.kind == "controller" && event.Field("event") == "session ended";
    }
    EXPECT_EQ(opened - ended, kept.openSessions) << "sessions left open";
    for (const char* directory : {"/etc/udev/rules.d/", "/lib/udev/rules.d/", "/run/udev/rules.d/"})
        for (const char* rule : {"98-secupdusb.rules", "00-secupd-tessel.rules"})
            EXPECT_FALSE(fs::exists(run.sandbox + directory + rule)) << directory << rule;
    const std::string mountPoint = run.sandbox + "/tmp/SECUPD";
    EXPECT_TRUE(!fs::exists(mountPoint) || fs::is_empty(mountPoint)) << "still mounted";
    if (!kept.deviceLink) {
        EXPECT_FALSE(fs::exists(fs::symlink_status(run.sandbox + "/dev/secostupd-SECUPD")))
            << "device link left";
    }
    for (const TraceEvent& event : run.trace)
        EXPECT_NE(event.kind, "unknown_command") << event.Field("command");
    // The library logs exactly when the marker asks for it; everything goes
    // to the internal log.
    const bool asked = fs::exists(run.package + "/vekdebuglog");
    const std::string log = run.package + "/vekdebug_update_internal.log";
    EXPECT_EQ(fs::exists(run.package + "/vekdebug_update.log"), asked) << "user log";
    EXPECT_EQ(fs::exists(log) && fs::file_size(log) > 0, asked) << "internal log";
}

std::vector<std::string> SplitOn(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream stream(text);
    for (std::string part; std::getline(stream, part, separator);) {
        part.erase(0, part.find_first_not_of(' '));
        part.erase(part.find_last_not_of(' ') + 1);
        if (!part.empty())
            parts.push_back(part);
    }
    return parts;
}

std::map<long long, int> ParseSleeps(const std::string& text) {
    std::map<long long, int> sleeps;
    for (const std::string& entry : SplitOn(text, ' ')) {
        if (entry == "none")
            continue;
        const size_t times = entry.find('x');
        sleeps[std::stoll(entry.substr(0, times))] = std::stoi(entry.substr(times + 1));
    }
    return sleeps;
}

// Checks the record and the trace facts; returns what the scenario expects
// the controller to keep.
ControllerLeftovers ExpectOutcome(const sim::Expectations& expectations, const UpdateRun& run) {
    std::map<long long, int> sleeps;
    ControllerLeftovers kept;
    size_t records = 1;
    bool statusStated = false;
    for (const auto& [key, value] : expectations) {
        SCOPED_TRACE("expect." + key + " = " + value);
        if (key == "status" || key == "message_id" || key == "message" || key == "device_type") {
            statusStated = statusStated || key == "status";
            for (const Record& record : run.records) {
                if (key == "status")
                    EXPECT_EQ(std::to_string(record.status), value);
                else if (key == "message_id")
                    EXPECT_EQ(std::to_string(record.messageID), value);
                else if (key == "message")
                    EXPECT_EQ(record.message, value);
                else
                    EXPECT_EQ(std::to_string(record.deviceType), value);
            }
            if (key == "status") {
                // The host's exit table gives failures statuses of their own.
                EXPECT_EQ(run.host.exitStatus == 0, value == "0") << run.host.errors;
            }
        } else if (key == "effects") {
            const std::vector<std::string> effects =
                value == "none" ? std::vector<std::string>{} : SplitOn(value, ',');
            EXPECT_EQ(Effects(run.trace), effects);
        } else if (key == "sent") {
            const std::vector<std::string> nameAndCount = SplitOn(value, ' ');
            EXPECT_EQ(nameAndCount.size(), 2u);
            if (nameAndCount.size() == 2) {
                EXPECT_EQ(CountSent(run.trace, nameAndCount[0]), std::stoi(nameAndCount[1]));
            }
        } else if (key == "ran") {
            const bool ran = std::any_of(
                run.trace.begin(), run.trace.end(), [&line = value](const TraceEvent& event) {
                    return event.kind == "shell" && event.Field("command") == line;
                });
            EXPECT_TRUE(ran) << "no such command line ran";
        } else if (key == "logged") {
            std::ifstream log(run.package + "/vekdebug_update_internal.log");
            std::stringstream text;
            text << log.rdbuf();
            EXPECT_NE(text.str().find(value), std::string::npos) << "not in the log";
        } else if (key == "sleeps") {
            sleeps = ParseSleeps(value);
        } else if (key == "records") {
            records = std::stoul(value);
        } else if (key == "statuses") {
            std::vector<std::string> statuses;
            for (const Record& record : run.records)
                statuses.push_back(std::to_string(record.status));
            const std::vector<std::string> expected = SplitOn(value, ' ');
            EXPECT_EQ(statuses, expected);
            const bool allStaged =
                std::all_of(expected.begin(), expected.end(),
                            [](const std::string& status) { return status == "0"; });
            EXPECT_EQ(run.host.exitStatus == 0, allStaged) << run.host.errors;
            statusStated = true;
        } else if (key == "partitions_left") {
            kept.partitions = SplitOn(value, ' ');
        } else if (key == "sessions_left_open") {
            kept.openSessions = std::stoi(value);
        } else {
            ADD_FAILURE() << "unknown expectation";
        }
    }
    EXPECT_TRUE(statusStated) << "the scenario states no expect.status";
    EXPECT_EQ(run.records.size(), records) << run.host.output << run.host.errors;
    EXPECT_EQ(Sleeps(run.trace), sleeps) << "pauses";
    return kept;
}

// Runs the host on the scenario with its package, trace and sandbox in the
// directory.
UpdateRun RunUpdate(const std::string& scenarioPath, const kortest::TemporaryDirectory& directory) {
    const std::string package = directory.Join("package");
    hosttest::HostProcess process;
    process.arguments = {"--json"};
    for (const std::string& argument : hosttest::LayOutPackage(package, scenarioPath))
        process.arguments.push_back(argument);
    process.packageDirectory = package;
    process.scenarioPath = scenarioPath;
    process.tracePath = directory.Join("trace.jsonl");
    process.sandboxPath = directory.Join("sandbox");
    UpdateRun run;
    run.host = hosttest::RunHost(process);
    run.records = ParseRecords(run.host.output);
    run.trace = hosttest::ReadTrace(process.tracePath);
    run.sandbox = process.sandboxPath;
    run.package = package;
    return run;
}

class StagedUpdate : public ::testing::TestWithParam<std::string> {
protected:
    UpdateRun RunUpdate(const std::string& scenarioPath) {
        return ::RunUpdate(scenarioPath, m_directory);
    }

    kortest::TemporaryDirectory m_directory;
};

TEST_P(StagedUpdate, EndsInTheScenariosRecordAndLeavesNothingBehind) {
    const std::string scenario = kScenarioFolder + "/" + GetParam();
    const UpdateRun run = RunUpdate(scenario);
    const ControllerLeftovers kept = ExpectOutcome(sim::ScenarioExpectationsOf(scenario), run);
    ExpectNothingLeftBehind(scenario, kept, run);
}

std::vector<std::string> ShippedScenarios() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(kScenarioFolder)) {
        if (entry.path().extension() == ".scn")
            names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Test names are the file names without the extension, as letters and digits.
std::string TestName(const ::testing::TestParamInfo<std::string>& info) {
    std::string name = info.param.substr(0, info.param.rfind('.'));
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Scenarios, StagedUpdate, ::testing::ValuesIn(ShippedScenarios()),
                         TestName);

// The fault matrix: every controller command a healthy update sends and
// every command line it runs, failing in turn. Each case is a healthy
// scenario with one fault added; the update must end in the record the
// command's failure calls for and leave nothing behind.
struct FaultCase {
    std::string faultLine;
    int status;  // the record's status; -1 for any failure
    // What the fault itself keeps the controller or the machine from
    // letting go.
    ControllerLeftovers kept;
};

// Refusals a command ends in: a completion code other than 0 and 0xCC for
// every try of a command retried so often (1 for one that is not), and for
// fewer tries; 0xCC and a lost or oversize answer fail the transfer (28); an
// answer with a foreign message id is passed over.
struct CommandFailure {
    int refused;
    int refusedLessOften;
    int tries;
};
const std::map<std::string, CommandFailure> kCommandFailures = {
    {"BeginOstrelSessionExtend", {63, 0, 10}},
    {"CreateDynamicPartition", {22, 22, 1}},
    {"AttachDynamicPartition", {27, 27, 1}},
    {"DetachDynamicPartition", {23, 23, 1}},
    {"DeleteDynamicPartition", {44, 44, 1}},
    {"SecureStageXMLHashTransferSHA", {24, 24, 1}},
    {"SecureStageUpdateSHA", {66, 0, 10}},
    {"PollStatusStageUpdate", {31, 31, 1}},
    {"DynamicPartitionIndexInfo", {31, 31, 1}},
    {"DynamicPartitionInfo", {31, 31, 1}},
    {"EndOstrelSession", {0, 0, 1}},
    {"OstrelType", {71, 71, 1}},
    {"OstrelAccessEnabled", {45, 45, 1}},
    {"GUIDEnableCheck", {2, 2, 1}},
    {"OrinStatus", {72, 72, 1}},
    {"SecureStageDataTransferSHA", {24, 24, 1}},
};

// Command lines whose failure makes the mount fail every time (37), by
// their start; every other line's failure is only logged or retried past.
const std::pair<const char*, int> kFailingCommandLines[] = {
    {"mkdir -p /tmp/SECUPD", 37}, {"ln -sf ", 37}, {"mount -n -t vfat ", 37}};

int StatusAfterFailing(const std::string& commandLine) {
    for (const auto& [start, status] : kFailingCommandLines) {
        if (commandLine.rfind(start, 0) == 0)
            return status;
    }
    return 0;
}

enum class Fault { Refused, InvalidCode, Lost, Oversize };

// A refused end keeps the session as does one that never reached the
// controller; a refused delete keeps the partition (a delete the library
// could not see through is tried again on the way out); a create or begin
// whose answer cannot be read hides what the controller made.
ControllerLeftovers KeptAfter(const std::string& command, Fault fault) {
    ControllerLeftovers kept;
    if ((command == "DeleteDynamicPartition" && fault == Fault::Refused) ||
        (command == "CreateDynamicPartition" && fault == Fault::Oversize))
        kept.partitions = {"0"};
    if ((command == "EndOstrelSession" && fault != Fault::Oversize) ||
        (command == "BeginOstrelSessionExtend" && fault == Fault::Oversize))
        kept.openSessions = 1;
    return kept;
}

std::vector<FaultCase> FaultCases(const std::vector<TraceEvent>& healthy) {
    std::map<std::string, int> uses;
    std::vector<std::string> commandLines;
    for (const TraceEvent& event : healthy) {
        if (event.kind == "ipmi_request")
            ++uses[event.Field("name")];
        if (event.kind == "shell" && std::find(commandLines.begin(), commandLines.end(),
                                               event.Field("command")) == commandLines.end())
            commandLines.push_back(event.Field("command"));
    }
    std::vector<FaultCase> cases;
    for (const auto& [command, count] : uses) {
        const auto known = kCommandFailures.find(command);
        const CommandFailure failure =
            known != kCommandFailures.end() ? known->second : CommandFailure{-1, -1, 1};
        // The first use alone, and every use up to the last (or every try).
        for (const int times : std::set<int>{1, std::max(count, failure.tries)}) {
            const std::string suffix = " " + std::to_string(times);
            const int refused = times >= std::max(count, failure.tries) ? failure.refused
                                                                        : failure.refusedLessOften;
            cases.push_back({"controller.cc." + command + " = 0xC9" + suffix, refused,
                             KeptAfter(command, Fault::Refused)});
            // A session end that fails is only logged.
            const int transport = command == "EndOstrelSession" ? 0 : 28;
            cases.push_back({"controller.cc." + command + " = 0xCC" + suffix, transport,
                             KeptAfter(command, Fault::InvalidCode)});
            cases.push_back({"ipmi.fault." + command + " = no_answer" + suffix, transport,
                             KeptAfter(command, Fault::Lost)});
            cases.push_back({"ipmi.fault." + command + " = oversize 254" + suffix, transport,
                             KeptAfter(command, Fault::Oversize)});
            cases.push_back({"ipmi.fault." + command + " = foreign_id" + suffix, 0, {}});
        }
    }
    for (const std::string& line : commandLines)
        cases.push_back({"command " + line + " => exit 1",
                         StatusAfterFailing(line),
                         {{}, 0, line.rfind("rm -f /dev/secostupd-", 0) == 0}});
    return cases;
}

// The healthy update the cases come from. Every case runs in a process of
// its own, and every process lists all cases, so the update's trace is kept
// beside the test program and read back while it is newer than the program.
// The program is relinked whenever the scenarios, the package, the host, the
// library or the simulator change (see library/CMakeLists.txt), which makes
// a kept trace out of date. A healthy update that fails gives no trace and no
// case: GoogleTest then fails the matrix as never instantiated, and the
// scenario healthy says why.
std::vector<TraceEvent> HealthyTrace() {
    const fs::path program = fs::read_symlink("/proc/self/exe");
    const fs::path kept = program.string() + ".healthy-trace.jsonl";
    std::error_code absent;
    if (fs::last_write_time(kept, absent) > fs::last_write_time(program))
        return hosttest::ReadTrace(kept.string());
    kortest::TemporaryDirectory directory;
    const UpdateRun healthy = RunUpdate(kScenarioFolder + "/healthy.scn", directory);
    if (healthy.host.exitStatus != 0)
        return {};
    // Written aside (under a name no other process uses) and renamed: other
    // cases may be reading it.
    const fs::path written = kept.string() + "." + fs::path(directory.Path()).filename().string();
    fs::copy_file(directory.Join("trace.jsonl"), written, fs::copy_options::overwrite_existing);
    fs::rename(written, kept);
    return healthy.trace;
}

// A case shows as its fault line.
void PrintTo(const FaultCase& fault, std::ostream* out) {
    *out << fault.faultLine;
}

class FaultMatrix : public ::testing::TestWithParam<FaultCase> {};

TEST_P(FaultMatrix, EndsInItsRecordAndLeavesNothingBehind) {
    const FaultCase& fault = GetParam();
    kortest::TemporaryDirectory directory;
    const std::string scenario = directory.Join("case.scn");
    std::ofstream(scenario)
        << "file /etc/redhat-release = Red Hat Enterprise Linux Server release 7.9 (Maipo)\n"
        << fault.faultLine << "\n";
    const UpdateRun run = RunUpdate(scenario, directory);
    ASSERT_EQ(run.records.size(), 1u) << run.host.output << run.host.errors;
    const int status = run.records.front().status;
    if (fault.status >= 0) {
        EXPECT_EQ(status, fault.status);
    }
    // The host's exit table gives failures statuses of their own.
    EXPECT_EQ(run.host.exitStatus == 0, status == 0) << run.host.errors;
    EXPECT_EQ(run.host.errors.find("exception"), std::string::npos) << run.host.errors;
    ExpectNothingLeftBehind(scenario, fault.kept, run);
}

// Case names are the fault lines with every run of other characters than
// letters and digits made one underscore.
std::string CaseName(const ::testing::TestParamInfo<FaultCase>& info) {
    std::string name;
    for (const char c : info.param.faultLine) {
        if (std::isalnum(static_cast<unsigned char>(c)))
            name += c;
        else if (!name.empty() && name.back() != '_')
            name += '_';
    }
    if (!name.empty() && name.back() == '_')
        name.pop_back();
    return name;
}

INSTANTIATE_TEST_SUITE_P(HealthyUpdate, FaultMatrix,
                         ::testing::ValuesIn(FaultCases(HealthyTrace())), CaseName);

}  // namespace
