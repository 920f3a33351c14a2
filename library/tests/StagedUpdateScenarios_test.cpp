// A whole staged update end to end, one scenario per situation: updatehost
// loads the shipped library in a package directory of its own (laid out as
// the scenario's package.* lines say, run with its host.arguments) and runs
// inside the simulated machine. Every scenario file of simulator/scenarios
// states its outcome in expect lines (their vocabulary: simulator/README.md,
// "Expected outcome"), judged by ScenarioOutcome, as the demo judges its run;
// and every run also shows that nothing is left behind: no partition on the
// controller, no open session, no udev rule, nothing mounted, no device link,
// no marker of a stopped HAL daemon, no unknown command, a log file exactly
// when the marker asks for one, and every file the scenario planted outside
// the mount point as it was.
#include <gtest/gtest.h>
#include <simmachine/ScenarioFile.h>

#include <kortest/LinePattern.h>
#include <kortest/TemporaryDirectory.h>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "HostProcess.h"
#include "RunTimeFiles.h"
#include "ScenarioOutcome.h"
#include "SimulatedTrace.h"
#include "VEKErrorCodes.h"

namespace {

namespace fs = std::filesystem;
using hosttest::Record;
using hosttest::TraceEvent;

const std::string kScenarioFolder = std::string(KOR_SOURCE_DIR) + "/simulator/scenarios";

// What one run of the host left: its records and the machine's view.
struct UpdateRun {
    hosttest::HostOutcome host;
    std::vector<Record> records;
    std::vector<TraceEvent> trace;
    std::string sandbox;
    std::string package;
};

// What a scenario lets the controller keep: what it would not let go of.
struct ControllerLeftovers {
    std::vector<std::string> partitions;
    int openSessions = 0;
    bool deviceLink = false;  // when the command that removes it fails
};

// Nothing of the machine's is left: no rule, no mount, no unknown command,
// and a log exactly when asked for.
// The files an update makes on the machine and removes before it ends: the
// udev rules, wherever it may put them, and the marker of a stopped HAL daemon.
std::vector<std::string> UpdatesOwnFiles() {
    std::vector<std::string> paths;
    for (const char* directory : {"/etc/udev/rules.d/", "/lib/udev/rules.d/", "/run/udev/rules.d/"})
        for (const char* rule : {"98-secupdusb.rules", "00-secupd-tessel.rules"})
            paths.push_back(std::string(directory) + rule);
    paths.emplace_back(RunTimeFiles::kHalStoppedMarker);
    paths.emplace_back(RunTimeFiles::kHalStoppedMarkerWithoutRun);
    return paths;
}

void ExpectMachineLeftClean(bool deviceLinkKept, const UpdateRun& run) {
    for (const std::string& path : UpdatesOwnFiles())
        EXPECT_FALSE(fs::exists(run.sandbox + path)) << path;
    const std::string mountPoint = run.sandbox + "/tmp/SECUPD";
    EXPECT_TRUE(!fs::exists(mountPoint) || fs::is_empty(mountPoint)) << "still mounted";
    // No machine at all when the host refused the package before loading the library.
    if (!deviceLinkKept && fs::exists(run.sandbox + "/dev")) {
        for (const fs::directory_entry& entry : fs::directory_iterator(run.sandbox + "/dev"))
            EXPECT_NE(entry.path().filename().string().rfind("secostupd-", 0), 0u)
                << "device link left: " << entry.path();
    }
    for (const TraceEvent& event : run.trace)
        EXPECT_NE(event.kind, "unknown_command") << event.Field("command");
    // The library logs exactly when the marker (a file or a directory) asks
    // for it; everything goes to the internal log. Where something that is
    // no regular file stands in a log's place, it writes no log at all.
    const std::string marker = run.package + "/vekdebuglog";
    const bool asked = fs::is_regular_file(marker) || fs::is_directory(marker);
    const std::string userLog = run.package + "/vekdebug_update.log";
    const std::string log = run.package + "/vekdebug_update_internal.log";
    const auto planted = [](const std::string& path) {
        const fs::file_status status = fs::symlink_status(path);
        return fs::exists(status) && !fs::is_regular_file(status);
    };
    const bool logged = fs::is_regular_file(fs::symlink_status(log)) && fs::file_size(log) > 0;
    if (planted(log) || planted(userLog)) {
        EXPECT_FALSE(logged) << "internal log";
    } else {
        EXPECT_EQ(fs::exists(userLog), asked) << "user log";
        EXPECT_EQ(logged, asked) << "internal log";
    }
}

// Every file the scenario puts outside the mount point keeps its text: a
// link in the mount point's place, or inside a directory there, led nothing
// the update wrote or removed to it. What a killed update left of the
// update's own files is for this one to remove.
void ExpectPlantedFilesKept(const std::string& scenarioPath, const UpdateRun& run) {
    const std::vector<std::string> own = UpdatesOwnFiles();
    for (const auto& [key, text] : sim::ScenarioEntriesOf(scenarioPath)) {
        const std::string path = key.rfind("file ", 0) == 0 ? key.substr(5) : "";
        if (path.empty() || path == "/tmp/SECUPD" || path.rfind("/tmp/SECUPD/", 0) == 0 ||
            std::find(own.begin(), own.end(), path) != own.end())
            continue;
        std::ifstream file(run.sandbox + path);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), text) << path;
    }
}

void ExpectNothingLeftBehind(const std::string& scenarioPath, const ControllerLeftovers& kept,
                             const UpdateRun& run) {
    EXPECT_EQ(hosttest::PartitionsLeft(sim::ScenarioEntriesOf(scenarioPath), run.trace),
              kept.partitions)
        << "partitions left on the controller";
    EXPECT_EQ(hosttest::SessionsLeftOpen(run.trace), kept.openSessions) << "sessions left open";
    ExpectMachineLeftClean(kept.deviceLink, run);
}

std::string ReadWhole(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// The scenario's expect lines, and its defaults for the controller (nothing
// kept), against the run.
void ExpectOutcome(const std::string& scenarioPath, const UpdateRun& run) {
    hosttest::RunFacts facts;
    facts.output = run.host.output;
    facts.records = run.records;
    facts.exitStatus = run.host.exitStatus;
    facts.trace = run.trace;
    // Only a regular file is read: a FIFO planted there would never end a read.
    const std::string log = run.package + "/vekdebug_update_internal.log";
    facts.log = fs::is_regular_file(fs::symlink_status(log)) ? ReadWhole(log) : "";
    for (const std::string& unmet : hosttest::Unmet(facts, sim::ScenarioEntriesOf(scenarioPath)))
        ADD_FAILURE() << unmet << "\n" << run.host.errors;
}

// The host on the scenario with its package and trace in the directory,
// named after the run (runs of one directory share its sandbox, and so one
// machine).
hosttest::HostProcess HostFor(const std::string& scenarioPath,
                              const kortest::TemporaryDirectory& directory,
                              const std::string& runName = "") {
    hosttest::HostProcess process;
    process.packageDirectory = directory.Join("package" + runName);
    process.arguments = hosttest::LayOutPackage(process.packageDirectory, scenarioPath);
    process.scenarioPath = scenarioPath;
    process.tracePath = directory.Join("trace" + runName + ".jsonl");
    process.sandboxPath = directory.Join("sandbox");
    return process;
}

UpdateRun Finished(const hosttest::HostProcess& process, hosttest::HostOutcome host) {
    UpdateRun run;
    run.host = std::move(host);
    run.records = hosttest::ParseRecords(run.host.output);
    run.trace = hosttest::ReadTrace(process.tracePath);
    run.sandbox = process.sandboxPath;
    run.package = process.packageDirectory;
    return run;
}

UpdateRun RunUpdate(const std::string& scenarioPath, const kortest::TemporaryDirectory& directory,
                    const std::string& runName = "") {
    const hosttest::HostProcess process = HostFor(scenarioPath, directory, runName);
    return Finished(process, hosttest::RunHost(process));
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
    ExpectOutcome(scenario, run);
    ExpectMachineLeftClean(false, run);
    ExpectPlantedFilesKept(scenario, run);
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

// A line of the library's internal log: its level and its message.
struct LoggedLine {
    std::string level;
    std::string text;
};

// The fault matrix: every controller command a healthy update sends and
// every command line it runs, failing in turn, and every status the stage
// poll can answer. Each case is a healthy scenario with one fault added; the
// update must end in the record the fault calls for and leave nothing behind.
struct FaultCase {
    std::string faultLine;
    int status;  // the record's status; -1 for any failure
    // What the fault itself keeps the controller or the machine from
    // letting go.
    ControllerLeftovers kept;
    // With logging on, the line the run must log; no level for none.
    LoggedLine logged = {};
};

// Refusals a command ends in: the code recorded for a completion code other
// than 0 and 0xCC on every try of a command retried so often (1 for one that
// is not), and on fewer tries; 0xCC and a lost or oversize answer fail the
// transfer (28); an answer with a foreign message id is passed over. A
// command the update sends needs a row here: without one the matrix only
// requires its refusal to fail somehow.
struct CommandFailure {
    int refused;
    int refusedLessOften;
    int tries;
};
namespace Code = VEKErrorCode;
const std::map<std::string, CommandFailure> kCommandFailures = {
    {"BeginOstrelSessionExtend", {Code::kSessionNotGranted, Code::kSuccess, 10}},
    {"CreateDynamicPartition", {Code::kPartitionNotCreated, Code::kPartitionNotCreated, 1}},
    {"AttachDynamicPartition", {Code::kPartitionNotAttached, Code::kPartitionNotAttached, 1}},
    {"DetachDynamicPartition", {Code::kPartitionNotDetached, Code::kPartitionNotDetached, 1}},
    {"DeleteDynamicPartition", {Code::kPartitionNotDeleted, Code::kPartitionNotDeleted, 1}},
    {"SecureStageXMLHashTransferSHA",
     {Code::kManifestDigestNotSent, Code::kManifestDigestNotSent, 1}},
    {"SecureStageUpdateSHA", {Code::kStageNotAccepted, Code::kSuccess, 10}},
    {"PollStatusStageUpdate", {Code::kInternalFailure, Code::kInternalFailure, 1}},
    {"DynamicPartitionIndexInfo", {Code::kInternalFailure, Code::kInternalFailure, 1}},
    {"DynamicPartitionInfo", {Code::kInternalFailure, Code::kInternalFailure, 1}},
    {"EndOstrelSession", {Code::kSuccess, Code::kSuccess, 1}},
    {"OstrelType", {Code::kNoStagingStorage, Code::kNoStagingStorage, 1}},
    {"OstrelAccessEnabled", {Code::kStagingAccessDisabled, Code::kStagingAccessDisabled, 1}},
    {"GUIDEnableCheck", {Code::kNoSecurityMethod, Code::kNoSecurityMethod, 1}},
    {"OrinStatus", {Code::kOrinNotReady, Code::kOrinNotReady, 1}},
    {"SecureStageDataTransferSHA", {Code::kManifestDigestNotSent, Code::kManifestDigestNotSent, 1}},
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

// Every status byte of the stage poll, answered to the first poll of a
// pending stage (a status that polls again is followed by 3, staged): the
// record's code, and the line the poll logs at its level, byte for byte,
// double blanks and spellings included. 8 and 39 stand for every status the
// poll does not know.
struct StageStatusLine {
    int status;
    int code;
    const char* level;
    const char* text;
};
const StageStatusLine kStageStatusLines[] = {
    {0, Code::kSuccess, "DEBUG", " Polling Success"},
    {1, Code::kUnexpectedFailure, "ERROR", "Error occurred during stage update:  Polling Failed"},
    {2, Code::kSuccess, "DEBUG", "Pending Staging/Update in Progress"},
    {3, Code::kSuccess, "DEBUG", "Success Update Staged and Reboot Required"},
    {4, Code::kSuccess, "DEBUG", "Success Update Applied or Update Staged: Reboot not Required"},
    {5, Code::kNotSupported, "ERROR",
     "Error occurred during stage update: Device or Action not supported"},
    {6, Code::kControllerFirmwareTooOld, "ERROR",
     "Error occurred during stage update: Quilla firmware Update Required"},
    {7, Code::kOrinDisabled, "ERROR", "Error occurred during stage update: Orin is Disabled"},
    {38, Code::kStageNotAccepted, "ERROR", "SHA256 Checksum match Failed"},
    {8, Code::kSuccess, "ERROR", "Unknow return code and continue to poll again"},
    {39, Code::kSuccess, "ERROR", "Unknow return code and continue to poll again"},
};

// A refused end keeps the session as does one that never reached the
// controller; a refused delete keeps the partition (a delete the library
// could not see through is tried again on the way out); a create or begin
// whose answer cannot be read hides what the controller made. A new command
// that makes or ends something on the controller says here what its failure
// leaves.
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
    // Only beside the healthy update's own cases: without them the matrix
    // stays empty, and fails as never instantiated.
    if (!cases.empty()) {
        for (const StageStatusLine& row : kStageStatusLines)
            cases.push_back({"controller.stage_status = 2 " + std::to_string(row.status) + " 3",
                             row.code,
                             {},
                             {row.level, row.text}});
    }
    return cases;
}

// The healthy update the cases come from (that of a shipped scenario, by its
// name). Every case runs in a process of its own, and every process lists
// all cases, so the update's trace is kept beside the test program and read
// back while it is newer than the program. The program is relinked whenever
// the scenarios, the package, the host, the library or the simulator change
// (see library/CMakeLists.txt), which makes a kept trace out of date. A
// healthy update that fails gives no trace and no case: GoogleTest then
// fails the matrix as never instantiated, and the scenario says why.
std::vector<TraceEvent> HealthyTrace(const std::string& scenario = "healthy") {
    const fs::path program = fs::read_symlink("/proc/self/exe");
    const fs::path kept = program.string() + "." + scenario + "-trace.jsonl";
    std::error_code absent;
    if (fs::last_write_time(kept, absent) > fs::last_write_time(program))
        return hosttest::ReadTrace(kept.string());
    kortest::TemporaryDirectory directory;
    const UpdateRun healthy = RunUpdate(kScenarioFolder + "/" + scenario + ".scn", directory);
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

// The matrix's second dimension: the sanitizer build runs every case a
// second time with the "vekdebuglog" marker in the package, so that every log
// statement on a failure path runs under the sanitizers (see
// library/CMakeLists.txt); the normal build would only repeat that run.
enum class Logging { Off, On };

std::vector<Logging> LoggingVariants() {
#ifdef KOR_FAULT_MATRIX_LOGGED
    return {Logging::Off, Logging::On};
#else
    return {Logging::Off};
#endif
}

std::vector<std::string> LinesOfFile(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return lines;
}

// With logging on the run's log shows no fault of the logging itself: no
// "(null)" for a missing text, no last line cut short, every line that starts
// as the logger's a whole one (the lines after a message's first have no
// head), at a level the library logs at. And it holds the case's own line.
void ExpectSoundLog(const LoggedLine& expected, const UpdateRun& run) {
    static const kortest::LinePattern kHead(
        "(StageUpdateLibrary|KORIPMILibrary) (ERROR|WARN|INFO|DEBUG) +: "
        "[0-9]{1,2}/[0-9]{1,2}/[0-9]{4} [0-9]{2}:[0-9]{2}[AP]M [^ ]+ *\\(\\) [^ ]+ *: *[0-9]+ "
        "(.*)");
    const std::string logPath = run.package + "/vekdebug_update_internal.log";
    const std::string log = ReadWhole(logPath);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), '\n') << "the last line is cut short";
    for (const std::string& line : LinesOfFile(run.package + "/baseutils.log"))
        EXPECT_EQ(line.find("(null)"), std::string::npos) << line;
    bool found = expected.level.empty();
    std::vector<std::string> head;
    for (const std::string& line : LinesOfFile(logPath)) {
        EXPECT_EQ(line.find("(null)"), std::string::npos) << line;
        if (line.rfind("StageUpdateLibrary ", 0) != 0 && line.rfind("KORIPMILibrary ", 0) != 0)
            continue;
        if (!kHead.Matches(line, &head)) {
            ADD_FAILURE() << "not a whole log line: " << line;
            continue;
        }
        found = found || (head[2] == expected.level && head[3] == expected.text);
    }
    EXPECT_TRUE(found) << "no line '" << expected.text << "' at " << expected.level;
}

using MatrixCase = std::tuple<FaultCase, Logging>;

class FaultMatrix : public ::testing::TestWithParam<MatrixCase> {};

TEST_P(FaultMatrix, EndsInItsRecordAndLeavesNothingBehind) {
    const auto& [fault, logging] = GetParam();
    kortest::TemporaryDirectory directory;
    const std::string scenario = directory.Join("case.scn");
    std::ofstream(scenario)
        << "file /etc/redhat-release = Red Hat Enterprise Linux Server release 7.9 (Maipo)\n"
        << fault.faultLine << "\n"
        << (logging == Logging::On ? "package.dir = vekdebuglog\n" : "");
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
    if (logging == Logging::On)
        ExpectSoundLog(fault.logged, run);
}

// A case's name: its text with every run of other characters than letters
// and digits made one underscore.
std::string CaseNameOf(const std::string& text) {
    std::string name;
    for (const char c : text) {
        if (std::isalnum(static_cast<unsigned char>(c)))
            name += c;
        else if (!name.empty() && name.back() != '_')
            name += '_';
    }
    if (!name.empty() && name.back() == '_')
        name.pop_back();
    return name;
}

// Case names are the fault lines, with "_logged" added with logging on.
std::string CaseName(const ::testing::TestParamInfo<MatrixCase>& info) {
    const auto& [fault, logging] = info.param;
    const std::string name = CaseNameOf(fault.faultLine);
    return logging == Logging::On ? name + "_logged" : name;
}

INSTANTIATE_TEST_SUITE_P(HealthyUpdate, FaultMatrix,
                         ::testing::Combine(::testing::ValuesIn(FaultCases(HealthyTrace())),
                                            ::testing::ValuesIn(LoggingVariants())),
                         CaseName);

// What the machine holds after the last run, as its kept state says
// (simulator/README.md, "One machine, several processes"): no partition, no
// session, no mount (a dead one neither), the HAL daemon as the scenario
// started it (`haldaemon`, empty for none).
void ExpectMachineHoldsNothing(const std::string& sandbox, const std::string& haldaemon) {
    std::string hal;
    std::istringstream state(ReadWhole(sandbox + "/.machine-state"));
    for (std::string line; std::getline(state, line);) {
        const std::string key = line.substr(0, line.find(" = "));
        EXPECT_NE(key.rfind("controller.partition.", 0), 0u) << "partition left: " << line;
        EXPECT_NE(key, "controller.session") << "session left open: " << line;
        EXPECT_NE(key.rfind("mount ", 0), 0u) << "mount left: " << line;
        if (key == "haldaemon")
            hal = line.substr(key.size() + 3);
    }
    EXPECT_EQ(hal, haldaemon) << "the HAL daemon";
}

// The controller's session time-out: the minutes the catalogue's begin
// request asks for (its sixth byte).
unsigned SessionTimeoutSeconds() {
    std::ifstream catalogue(std::string(KOR_SOURCE_DIR) + "/package/ipmi_cmd.ini");
    bool inBegin = false;
    for (std::string line; std::getline(catalogue, line);) {
        if (line.rfind('[', 0) == 0)
            inBegin = line == "[BeginOstrelSessionExtend]";
        if (inBegin && line.rfind("Command = ", 0) == 0)
            return 60 *
                   static_cast<unsigned>(std::stoul(line.substr(line.rfind(' ') + 1), nullptr, 16));
    }
    return 0;
}

// The kill matrix: a healthy update killed with SIGKILL just before each
// controller command it sends and each command line it runs, then run
// afresh on the same machine. A controller command is killed at its first
// use and, used more than once, at its last (the machine differs there: the
// partition exists at the last map query, the digest is whole at its last
// piece); the middle uses leave the machine as the first does. A command
// line is killed at its first use, as a hold point names a line without a
// count (its later uses, in the clean-up, follow kills at their neighbours).
// The next run stages, or, while the killed run's session is still open,
// records 63 and stages once the controller's session time-out has passed
// on the machine; and then the machine holds nothing of either run. Every
// case on a Red Hat machine and on a SUSE one whose HAL daemon runs (the
// rule install stops it).
struct KillCase {
    std::string machine;  // the shipped scenario of the healthy update
    std::string point;    // the kill_before value
    bool sessionOpen;     // the killed run's session is open when it dies
};

std::vector<KillCase> KillCases(const std::string& machine,
                                const std::vector<TraceEvent>& healthy) {
    std::map<std::string, int> uses;
    for (const TraceEvent& event : healthy) {
        if (event.kind == "ipmi_request")
            ++uses[event.Field("name")];
    }
    std::vector<KillCase> cases;
    std::map<std::string, int> sent;
    std::set<std::string> commandLines;
    bool sessionOpen = false;
    for (const TraceEvent& event : healthy) {
        if (event.kind == "controller" && event.Field("event") == "session opened")
            sessionOpen = true;
        if (event.kind == "controller" && event.Field("event") == "session ended")
            sessionOpen = false;
        if (event.kind == "ipmi_request") {
            const std::string name = event.Field("name");
            const int use = ++sent[name];
            if (use == 1 || use == uses[name])
                cases.push_back({machine, "ipmi " + name + " " + std::to_string(use), sessionOpen});
        }
        std::string line = event.Field("command");
        line.erase(0, line.find_first_not_of(' '));
        line.erase(line.find_last_not_of(' ') + 1);
        if (event.kind == "shell" && commandLines.insert(line).second)
            cases.push_back({machine, "command " + line, sessionOpen});
    }
    return cases;
}

std::vector<KillCase> KillCasesOnEveryMachine() {
    std::vector<KillCase> cases;
    for (const std::string machine : {"healthy", "suse-hal-running"}) {
        const std::vector<KillCase> some = KillCases(machine, HealthyTrace(machine));
        cases.insert(cases.end(), some.begin(), some.end());
    }
    return cases;
}

void PrintTo(const KillCase& kill, std::ostream* out) {
    *out << kill.machine << ": kill_before = " << kill.point;
}

class KillMatrix : public ::testing::TestWithParam<KillCase> {};

TEST_P(KillMatrix, NextRunStagesAndNothingIsLeftBehind) {
    const KillCase& kill = GetParam();
    kortest::TemporaryDirectory directory;
    const std::string machine = kScenarioFolder + "/" + kill.machine + ".scn";
    const std::string killing =
        directory.Write("killing.scn", ReadWhole(machine) + "kill_before = " + kill.point + "\n");
    const UpdateRun killed = RunUpdate(killing, directory, "-killed");
    ASSERT_EQ(killed.host.exitStatus, 128 + SIGKILL) << killed.host.output << killed.host.errors;
    ASSERT_TRUE(killed.records.empty());

    const hosttest::HostProcess next = HostFor(machine, directory, "-next");
    UpdateRun run = Finished(next, hosttest::RunHost(next));
    ASSERT_EQ(run.records.size(), 1u) << run.host.output << run.host.errors;
    if (kill.sessionOpen) {
        EXPECT_EQ(run.records.front().status, Code::kSessionNotGranted);
        hosttest::HostProcess later = next;
        later.tracePath = directory.Join("trace-later.jsonl");
        ASSERT_EQ(hosttest::RunInMachine(later, {"sleep", std::to_string(SessionTimeoutSeconds())})
                      .exitStatus,
                  0);
        run = Finished(later, hosttest::RunHost(later));
        ASSERT_EQ(run.records.size(), 1u) << run.host.output << run.host.errors;
    }
    EXPECT_EQ(run.records.front().status, Code::kSuccess) << run.host.errors;
    ExpectMachineLeftClean(false, run);
    const bool halRuns = ReadWhole(machine).find("haldaemon = running") != std::string::npos;
    ExpectMachineHoldsNothing(run.sandbox, halRuns ? "running" : "");
}

// Case names are the machine and the point.
std::string KillCaseName(const ::testing::TestParamInfo<KillCase>& info) {
    return CaseNameOf(info.param.machine + " " + info.param.point);
}

INSTANTIATE_TEST_SUITE_P(HealthyUpdates, KillMatrix, ::testing::ValuesIn(KillCasesOnEveryMachine()),
                         KillCaseName);

// Two updates on one machine at once: the second, started in a process of
// its own while the first waits before its stage poll, records 63 at once,
// having sent, run and removed nothing, and the first still stages.
TEST(UpdateLock, UpdateOfAnotherProcessIsRefusedWhileOneRuns) {
    kortest::TemporaryDirectory directory;
    const std::string healthy = kScenarioFolder + "/healthy.scn";
    const std::string pausing = directory.Write(
        "pausing.scn", ReadWhole(healthy) + "pause_before = ipmi PollStatusStageUpdate\n");
    const hosttest::HostProcess firstProcess = HostFor(pausing, directory, "-first");
    const hosttest::StartedHost started = hosttest::StartHost(firstProcess);
    const std::string paused = firstProcess.sandboxPath + "/paused";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!fs::exists(paused) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const bool reached = fs::exists(paused);
    const UpdateRun second = reached ? RunUpdate(healthy, directory, "-second") : UpdateRun{};
    fs::remove(paused);
    const UpdateRun first = Finished(firstProcess, hosttest::Finish(started));
    ASSERT_TRUE(reached) << first.host.output << first.host.errors;

    ASSERT_EQ(second.records.size(), 1u) << second.host.output << second.host.errors;
    EXPECT_EQ(second.records.front().status, Code::kSessionNotGranted);
    std::vector<std::string> touched;
    for (const TraceEvent& event : second.trace) {
        const std::string op = event.Field("op");
        if (event.kind == "ipmi_request" || event.kind == "shell" || event.kind == "sleep" ||
            op == "unlink" || op == "rmdir" || op == "remove" || op == "rename")
            touched.push_back(event.kind + " " + event.Field("name") + event.Field("command") +
                              event.Field("ms") + op + " " + event.Field("path"));
    }
    EXPECT_TRUE(touched.empty()) << ::testing::PrintToString(touched);
    ASSERT_EQ(first.records.size(), 1u) << first.host.output << first.host.errors;
    EXPECT_EQ(first.records.front().status, Code::kSuccess) << first.host.errors;
    ExpectMachineLeftClean(false, first);
    ExpectMachineHoldsNothing(first.sandbox, "");
}

}  // namespace
