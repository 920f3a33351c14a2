// A whole staged update end to end, one scenario per situation: updatehost
// loads the shipped library in a package directory of its own and runs inside
// the simulated machine. Each row states the record the host gets, what the
// controller and the machine saw, in order, the commands sent, the pauses
// taken; every row also checks that nothing is left behind.
#include <gtest/gtest.h>

#include <kortest/TemporaryDirectory.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "HostProcess.h"
#include "SimulatedTrace.h"

namespace {

namespace fs = std::filesystem;
using hosttest::TraceEvent;

const std::string kScenarioFolder = std::string(KOR_PACKAGE_DIR) + "/../simulator/scenarios/";

struct Record {
    int status = -1;
    int messageID = -1;
    std::string message;
    int deviceType = -1;
};

// What one run of the host left: its records and the machine's view.
struct Run {
    hosttest::HostOutcome host;
    std::vector<Record> records;
    std::vector<TraceEvent> trace;
    std::string sandbox;
    std::string package;
};

// Changes the laid-out package before the run.
using PackageChange = void (*)(const std::string& package);

struct Scenario {
    const char* file;  // in simulator/scenarios
    int code;          // status and message ID of every record
    // What the controller and the machine saw, in order, repeats folded.
    std::vector<std::string> effects;
    // How often some commands were sent.
    std::map<std::string, int> sent = {};
    // Pauses: length in milliseconds -> how many.
    std::map<long long, int> sleeps = {};
    PackageChange change = nullptr;
    int updates = 1;
    int deviceType = 2;
};

// The catalogue's message for every code, from the shipped file.
std::map<int, std::string> ShippedMessages() {
    std::ifstream file(std::string(KOR_PACKAGE_DIR) + "/ErrorCodes.xml");
    std::stringstream text;
    text << file.rdbuf();
    const std::string xml = text.str();
    static const std::regex kCode(R"re(CodeNo="(\d+)"\s+Discription="([^"]*)")re");
    std::map<int, std::string> messages;
    for (std::sregex_iterator match(xml.begin(), xml.end(), kCode), end; match != end; ++match)
        messages[std::stoi((*match)[1].str())] = (*match)[2].str();
    return messages;
}

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

const std::vector<std::string> kEnvironmentQueries = {
    "OstrelType", "OstrelAccessEnabled", "OrinStatus", "GUIDEnableCheck", "OstrelCapability"};

// The controller-visible effects of a run, consecutive repeats folded: the
// controller's own events, the environment queries, the payload written onto
// the mounted partition and the status polls.
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
            const std::string name = event.Field("name");
            if (name == "PollStatusStageUpdate")
                add("status poll");
            else if (std::find(kEnvironmentQueries.begin(), kEnvironmentQueries.end(), name) !=
                     kEnvironmentQueries.end())
                add("queries");
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
    std::map<std::string, bool> present;
    std::ifstream scenario(scenarioPath);
    static const std::regex kPartition(R"(^controller\.partition\.(\d+)\s*=)");
    std::smatch match;
    for (std::string line; std::getline(scenario, line);) {
        if (std::regex_search(line, match, kPartition))
            present[match[1].str()] = true;
    }
    for (const TraceEvent& event : trace) {
        if (event.kind != "controller")
            continue;
        if (event.Field("event") == "partition created")
            present[event.Field("partition")] = true;
        if (event.Field("event") == "partition deleted")
            present.erase(event.Field("partition"));
    }
    std::vector<std::string> left;
    for (const auto& [number, exists] : present)
        left.push_back(number);
    return left;
}

void ExpectNothingLeftBehind(const Scenario& row, const Run& run) {
    EXPECT_EQ(PartitionsLeft(kScenarioFolder + row.file, run.trace), std::vector<std::string>{})
        << "partitions left on the controller";
    int opened = 0;
    int ended = 0;
    for (const TraceEvent& event : run.trace) {
        opened += event.kind == "controller" && event.Field("event") == "session opened";
        ended += event.kind == "controller" && event.Field("event") == "session ended";
    }
    EXPECT_EQ(opened, ended) << "a session left open";
    for (const char* directory : {"/etc/udev/rules.d/", "/lib/udev/rules.d/", "/run/udev/rules.d/"})
        for (const char* rule : {"98-secupdusb.rules", "00-secupd-tessel.rules"})
            EXPECT_FALSE(fs::exists(run.sandbox + directory + rule)) << directory << rule;
    const std::string mountPoint = run.sandbox + "/tmp/SECUPD";
    EXPECT_TRUE(!fs::exists(mountPoint) || fs::is_empty(mountPoint)) << "still mounted";
    EXPECT_FALSE(fs::exists(fs::symlink_status(run.sandbox + "/dev/secostupd-SECUPD")))
        << "device link left";
    for (const TraceEvent& event : run.trace)
        EXPECT_NE(event.kind, "unknown_command") << event.Field("command");
    // The library logs exactly when the marker asks for it.
    const bool asked = fs::exists(run.package + "/vekdebuglog");
    const std::string log = run.package + "/vekdebug_update.log";
    EXPECT_EQ(fs::exists(log) && fs::file_size(log) > 0, asked) << "log file";
}

class StagedUpdate : public ::testing::Test {
protected:
    Run RunUpdate(const std::string& scenarioPath, PackageChange change, int updates,
                  const std::vector<std::string>& wrapper = {}) {
        const std::string package = m_directory.Join("package");
        hosttest::LayOutPackage(package);
        if (change)
            change(package);
        hosttest::HostProcess process;
        process.packageDirectory = package;
        process.scenarioPath = scenarioPath;
        process.tracePath = m_directory.Join("trace.jsonl");
        process.sandboxPath = m_directory.Join("sandbox");
        process.wrapper = wrapper;
        process.arguments = {"--json", "--updates", std::to_string(updates)};
        fs::create_directory(process.sandboxPath);
        Run run;
        run.host = hosttest::RunHost(process);
        run.records = ParseRecords(run.host.output);
        run.trace = hosttest::ReadTrace(process.tracePath);
        run.sandbox = process.sandboxPath;
        run.package = package;
        return run;
    }

    kortest::TemporaryDirectory m_directory;
};

void RemoveDescriptor(const std::string& package) {
    fs::remove(package + "/package.xml");
}

void EmptyPayload(const std::string& package) {
    for (const auto& entry : fs::directory_iterator(package + "/payload"))
        fs::remove_all(entry.path());
}

void DescribePCIDevice(const std::string& package) {
    std::ifstream original(package + "/package.xml");
    std::stringstream text;
    text << original.rdbuf();
    std::string xml = text.str();
    const std::string device = "</Display>\n    </Device>";
    xml.replace(
        xml.find(device), device.size(),
        "</Display>\n      <PCIInfo deviceID=\"0534\" vendorID=\"1028\" subDeviceID=\"0000\" "
        "subVendorID=\"1028\"/>\n    </Device>");
    std::ofstream(package + "/package.xml") << xml;
}

void AskForDebugLog(const std::string& package) {
    fs::create_directory(package + "/vekdebuglog");
}

const std::vector<std::string> kStaged = {"queries",
                                          "session opened",
                                          "partition created",
                                          "partition attached",
                                          "payload written",
                                          "digest transfer started",
                                          "digest received",
                                          "partition detached",
                                          "stage",
                                          "status poll",
                                          "partition deleted",
                                          "session ended"};

// The stage answered with a final status, the partition is removed on the way out.
std::vector<std::string> StagedThen(std::vector<std::string> tail) {
    std::vector<std::string> effects(kStaged.begin(), kStaged.begin() + 10);
    effects.insert(effects.end(), tail.begin(), tail.end());
    return effects;
}

const std::vector<std::string> kFailedAfterPoll =
    StagedThen({"partition deleted", "session ended"});

const Scenario kScenarios[] = {
    {"healthy.scn", 0, kStaged, {{"SecureStageUpdateSHA", 1}, {"PollStatusStageUpdate", 1}}},
    {"gpg.scn", 0, {}, {{"SecureStageUpdateGPG", 1}, {"SecureStageUpdateSHA", 0}}},
    {"stage-pending-then-staged.scn", 0, kStaged, {{"PollStatusStageUpdate", 2}}, {{5000, 1}}},
    {"stage-pending-then-applied.scn", 0, kStaged, {{"PollStatusStageUpdate", 2}}, {{5000, 1}}},
    {"stage-checksum-mismatch.scn", 66, kFailedAfterPoll, {{"PollStatusStageUpdate", 1}}},
    {"stage-poll-failed.scn", 1, kFailedAfterPoll},
    {"stage-not-supported.scn", 67, kFailedAfterPoll},
    {"stage-needs-firmware.scn", 68, kFailedAfterPoll},
    {"stage-orin-disabled.scn", 55, kFailedAfterPoll},
    {"stage-status-unknown.scn",
     1,
     kFailedAfterPoll,
     {{"PollStatusStageUpdate", 3000}},
     {{5000, 3000}}},
    {"stage-pending-forever.scn",
     66,
     kFailedAfterPoll,
     {{"PollStatusStageUpdate", 3000}},
     {{5000, 3000}}},
    {"stage-refused-nine-times.scn", 0, kStaged, {{"SecureStageUpdateSHA", 10}}},
    {"stage-refused.scn", 66, {}, {{"SecureStageUpdateSHA", 10}, {"PollStatusStageUpdate", 0}}},
    {"esxi-usb-arbitrator.scn", 56, {}, {{"BeginOstrelSessionExtend", 0}}},
    {"no-staging-storage.scn", 71, {"queries"}, {{"BeginOstrelSessionExtend", 0}}},
    {"access-disabled.scn", 45, {"queries"}},
    {"orin-never-ready.scn", 72, {"queries"}, {{"OrinStatus", 100}}, {{5000, 99}}},
    {"not-root.scn", 73, {}},
    {"session-refused.scn", 63, {"queries"}, {{"BeginOstrelSessionExtend", 10}}, {{2000, 9}}},
    {"leftover-partitions.scn", 0, {}},
    {"create-refused.scn", 22, {}},
    {"attach-refused.scn", 27, {}},
    {"mount-fails.scn", 37, {}},
    {"detach-refused.scn", 23, {}},
    {"delete-refused.scn", 44, {}},
    {"no-guid.scn", 2, {}},
    {"healthy.scn", 74, {}, {{"CreateDynamicPartition", 0}}, {}, RemoveDescriptor},
    {"healthy.scn", 75, {}, {{"CreateDynamicPartition", 0}}, {}, EmptyPayload},
    {"healthy.scn", 0, kStaged, {}, {}, DescribePCIDevice, 1, 1},
    {"healthy.scn", 0, kStaged, {}, {}, AskForDebugLog},
    {"healthy.scn", 0, {}, {{"BeginOstrelSessionExtend", 2}}, {}, nullptr, 2},
};

TEST_F(StagedUpdate, EachScenarioEndsInItsRecordAndLeavesNothingBehind) {
    const std::map<int, std::string> messages = ShippedMessages();
    for (const Scenario& row : kScenarios) {
        SCOPED_TRACE(row.file);
        const Run run = RunUpdate(kScenarioFolder + row.file, row.change, row.updates);
        ASSERT_EQ(run.records.size(), static_cast<size_t>(row.updates))
            << run.host.output << run.host.errors;
        for (const Record& record : run.records) {
            EXPECT_EQ(record.status, row.code);
            EXPECT_EQ(record.messageID, row.code);
            EXPECT_EQ(record.message, messages.at(row.code));
            EXPECT_EQ(record.deviceType, row.deviceType);
        }
        EXPECT_EQ(run.host.exitStatus, row.code == 0 ? 0 : 1) << run.host.errors;
        if (!row.effects.empty())
            EXPECT_EQ(Effects(run.trace), row.effects);
        for (const auto& [name, count] : row.sent)
            EXPECT_EQ(CountSent(run.trace, name), count) << name;
        EXPECT_EQ(Sleeps(run.trace), row.sleeps);
        ExpectNothingLeftBehind(row, run);
        fs::remove_all(m_directory.Join("package"));
        fs::remove_all(m_directory.Join("sandbox"));
    }
}

}  // namespace
