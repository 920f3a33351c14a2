// The host program's pass-through mode end to end: updatehost and the built
// library in a package directory of their own, run as a separate process
// inside the simulated machine, for every command of the shipped catalogue.
// And the exports called in a process of the test's own: the pass-through,
// and two updates at once from two threads of one host process.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <kortest/TemporaryDirectory.h>
#include <simmachine/SimMachine.h>
#include <sys/file.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "HostProcess.h"
#include "IDeviceExecution.h"
#include "ShippedLibrary.h"
#include "SimulatedTrace.h"

namespace {

namespace fs = std::filesystem;

struct HostRun {
    hosttest::HostOutcome host;
    std::vector<std::string> requestNames;
    std::map<std::string, std::string> responseBytes;  // per name, as in the trace
};

struct CatalogueCommand {
    std::string name;
    bool sessionBound = false;
    int responseLength = 0;
};

// The sections of the shipped catalogue, read the simple way: the file is ours.
std::vector<CatalogueCommand> ShippedCommands() {
    std::ifstream file(std::string(KOR_SOURCE_DIR) + "/package/ipmi_cmd.ini");
    std::vector<CatalogueCommand> commands;
    static const std::regex kSection(R"(^\[(.+)\]\s*$)");
    static const std::regex kValue(R"(^(\w+)\s*=\s*(\S+)\s*$)");
    std::smatch match;
    for (std::string line; std::getline(file, line);) {
        if (std::regex_match(line, match, kSection)) {
            commands.push_back({match[1].str()});
        } else if (!commands.empty() && std::regex_match(line, match, kValue)) {
            if (match[1] == "IsSessionRequired")
                commands.back().sessionBound = match[2] == "1";
            else if (match[1] == "ResponseLength")
                commands.back().responseLength = std::stoi(match[2].str());
        }
    }
    return commands;
}

class PassThroughHost : public ::testing::Test {
protected:
    void SetUp() override {
        hosttest::LayOutPackage(Package(), m_directory.Write("layout.scn", ""));
    }

    std::string Package() const { return m_directory.Join("package"); }

    // updatehost ipmi NAME in the package directory, on a fresh simulated machine.
    HostRun RunHost(const std::string& name, const std::string& scenario = "") {
        hosttest::HostProcess process;
        process.packageDirectory = Package();
        process.scenarioPath = m_directory.Write("scenario.scn", scenario);
        process.tracePath = m_directory.Join("trace.jsonl");
        process.sandboxPath = m_directory.Join("sandbox-" + std::to_string(++m_runs));
        process.arguments = {"ipmi", name};
        fs::remove(process.tracePath);
        HostRun run;
        run.host = hosttest::RunHost(process);
        for (const hosttest::TraceEvent& event : hosttest::ReadTrace(process.tracePath)) {
            if (event.kind == "ipmi_request")
                run.requestNames.push_back(event.Field("name"));
            else if (event.kind == "ipmi_response")
                run.responseBytes[event.Field("name")] = event.Field("bytes");
        }
        return run;
    }

    kortest::TemporaryDirectory m_directory;
    int m_runs = 0;
};

// What the host prints for a response: the stored bytes, padded with zeros
// to the catalogue's length.
std::string PrintedResponse(const std::string& traceBytes, int length) {
    std::istringstream bytes(traceBytes);
    std::string printed = "response:";
    std::string byte;
    for (int i = 0; i < length; ++i)
        printed += " " + (bytes >> byte ? byte : std::string("00"));
    return printed;
}

TEST_F(PassThroughHost, RunsEveryCatalogueCommandAndPrintsTheControllersAnswer) {
    const std::vector<CatalogueCommand> commands = ShippedCommands();
    ASSERT_EQ(commands.size(), 19u);
    for (const CatalogueCommand& command : commands) {
        SCOPED_TRACE(command.name);
        const HostRun run = RunHost(command.name);
        if (command.sessionBound) {
            // Each call is a process of its own with a catalogue of its own, in
            // which no session command has run: the library sends nothing.
            EXPECT_EQ(run.host.exitStatus, 1) << run.host.errors;
            EXPECT_EQ(run.host.output, "completion code: 0xffffffff\nresponse:\n");
            EXPECT_TRUE(run.requestNames.empty());
            continue;
        }
        EXPECT_EQ(run.host.exitStatus, 0) << run.host.errors;
        EXPECT_EQ(run.requestNames, std::vector<std::string>{command.name});
        ASSERT_EQ(run.responseBytes.count(command.name), 1u);
        EXPECT_EQ(run.host.output,
                  "completion code: 0x00\n" +
                      PrintedResponse(run.responseBytes.at(command.name), command.responseLength) +
                      "\n");
        // No "vekdebuglog" marker, no log files.
        EXPECT_FALSE(fs::exists(Package() + "/vekdebug_update.log"));
        EXPECT_FALSE(fs::exists(Package() + "/koripmi.log"));
    }
}

TEST_F(PassThroughHost, FailuresReachTheHostAsResultOrException) {
    HostRun run = RunHost("NoSuchCommand");
    EXPECT_EQ(run.host.exitStatus, 1);
    EXPECT_EQ(run.host.output, "completion code: 0xffffffff\nresponse:\n");

    run = RunHost("OrinStatus", "controller.cc.OrinStatus = 0xC9");
    EXPECT_EQ(run.host.exitStatus, 1);
    EXPECT_EQ(run.host.output, "completion code: 0xc9\nresponse:\n");

    fs::remove(Package() + "/ipmi_cmd.ini");
    run = RunHost("OrinStatus");
    EXPECT_EQ(run.host.exitStatus, 3);
    EXPECT_EQ(run.host.errors.rfind("updatehost: the library threw: CVEKException - [The IPMI "
                                    "command file ipmi_cmd.ini is missing or malformed.]\n\t at "
                                    "LoadIPMIData(",
                                    0),
              0u)
        << run.host.errors;
}

TEST_F(PassThroughHost, ExportReplacesTheCallersResponseOnlyOnSuccess) {
    const shippedlibrary::PackageDirectory package;
    sim::Reset();
    const ProcessIPMICommandRequestFn passThrough = shippedlibrary::LoadPassThrough();

    const std::vector<unsigned char> previous(40, 0xEE);
    std::vector<unsigned char> response = previous;
    EXPECT_NE(passThrough("NoSuchCommand", response), 0u);
    EXPECT_EQ(response, previous);
    EXPECT_EQ(passThrough("OstrelType", response), 0u);
    EXPECT_EQ(response, (std::vector<unsigned char>{0x31, 0xA1, 0x00, 0x00}));
}

// Two updates in one host process: the second, from another thread while the
// first waits inside the stage poll, finds the update lock taken. It is
// refused at once with code 63 and touches nothing, neither on the machine
// nor in the process (the first update's error catalogue, session and
// logger); the first goes on and stages, and gives the lock back.
//
// The library takes the payload from beside the running program, so the
// test runs a copy of itself from a package directory, inside the simulated
// machine its environment names; that copy is the host of the two updates.
const char* const kTwoUpdatesHostRole = "KOR_TEST_HOST_OF_TWO_UPDATES";

const char* const kPausedBeforeThePollWithLogs =
    "pause_before = ipmi PollStatusStageUpdate\npackage.dir = vekdebuglog\n";

std::string ReadWhole(const std::string& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// Waits in real time: the machine's sleeps would only advance its clock.
void WaitUntilPaused(const std::string& paused) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    const timespec step{0, 10L * 1000 * 1000};
    while (!fs::exists(paused)) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "never reached its pause";
        syscall(SYS_nanosleep, &step, nullptr);
    }
}

struct UpdateOutcome {
    int status = -1;
    int messageID = -1;
    std::string message;
    size_t records = 0;
};

// Runs one update through the library's factory and deletes what the host owns.
UpdateOutcome RunOneUpdate(GetDeviceExecutionUpdateMethodFn factory) {
    std::unique_ptr<IDeviceExecution> update(factory());
    UpdateOutcome outcome;
    if (!update)
        return outcome;
    for (CDeviceInfo* record : update->Update()) {
        outcome.status = record->getStatus();
        outcome.messageID = record->getMessageID();
        outcome.message = record->getErrorMsg();
        ++outcome.records;
        delete record;
    }
    return outcome;
}

// The message "ErrorCodes.xml" gives the code.
std::string CatalogueMessage(int code) {
    const std::regex entry("CodeNo=\"" + std::to_string(code) + "\" Discription=\"([^\"]*)\"");
    const std::string catalogue = ReadWhole("ErrorCodes.xml");
    std::smatch match;
    return std::regex_search(catalogue, match, entry) ? match[1].str() : "(none)";
}

// Nothing sent, run, loaded or changed after the trace's first events: the
// second update only opened the lock file (the first one stood still).
void ExpectOnlyTheLockOpened(const std::vector<sim::Event>& trace, size_t eventsBefore) {
    for (size_t i = eventsBefore; i < trace.size(); ++i) {
        const sim::Event& event = trace[i];
        EXPECT_EQ(event.kind, "file")
            << event.kind << " " << event.Field("name") << event.Field("command");
        EXPECT_EQ(event.Field("op"), "open") << event.Field("path");
        EXPECT_EQ(event.Field("path"), "/run/vaduzivorirezoz.lock");
    }
}

// The first update's catalogue and logger were left to it: its message, and
// its log lines after the refusal's; it staged and gave the lock back, with
// the process id of its last holder.
void ExpectTheFirstUpdateUndisturbed(const UpdateOutcome& first) {
    EXPECT_EQ(first.status, 0);
    EXPECT_EQ(first.message, CatalogueMessage(0));
    const std::string log = ReadWhole("vekdebug_update_internal.log");
    const size_t refusal = log.find("Another update is in progress on this machine (process id " +
                                    std::to_string(getpid()) + ")");
    EXPECT_NE(refusal, std::string::npos) << log;
    EXPECT_NE(log.find("Success Update Staged and Reboot Required", refusal), std::string::npos);
    EXPECT_TRUE(sim::ControllerPartitions().empty());
    EXPECT_FALSE(sim::ControllerSessionOpen());
    const std::string lock = sim::SandboxPath("/run/vaduzivorirezoz.lock");
    EXPECT_EQ(ReadWhole(lock), std::to_string(getpid()) + "\n");
    const int fd = open(lock.c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0) << "still held";
    close(fd);
}

void HostTwoUpdates() {
    void* library = dlopen(("./" + fs::path(KOR_UPDATE_LIBRARY).filename().string()).c_str(),
                           RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    const auto factory =
        reinterpret_cast<GetDeviceExecutionUpdateMethodFn>(dlsym(library, KOR_EXPORT_FACTORY_NAME));
    ASSERT_NE(factory, nullptr);

    // Asked before the pause, which holds the machine still.
    const std::string paused = sim::SandboxRoot() + "/paused";
    const std::string tracePath = sim::TracePath();
    UpdateOutcome first;
    std::thread firstThread([&first, factory] { first = RunOneUpdate(factory); });
    WaitUntilPaused(paused);

    const size_t eventsBefore = hosttest::ReadTrace(tracePath).size();
    const auto started = std::chrono::steady_clock::now();
    const UpdateOutcome second = RunOneUpdate(factory);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10))
        << "not refused at once";
    const std::vector<sim::Event> trace = hosttest::ReadTrace(tracePath);
    fs::remove(paused);
    firstThread.join();

    EXPECT_EQ(second.records, 1u);
    EXPECT_EQ(second.status, 63);
    EXPECT_EQ(second.messageID, 63);
    EXPECT_EQ(second.message, CatalogueMessage(63));
    ExpectOnlyTheLockOpened(trace, eventsBefore);
    ExpectTheFirstUpdateUndisturbed(first);
}

TEST(TwoUpdatesInOneProcess, TheSecondIsRefusedAtOnceAndTouchesNothingWhileTheFirstStages) {
    if (std::getenv(kTwoUpdatesHostRole) != nullptr) {
        HostTwoUpdates();
        return;
    }
    kortest::TemporaryDirectory directory;
    hosttest::HostProcess process;
    process.packageDirectory = directory.Join("package");
    process.scenarioPath = directory.Write("paused.scn", kPausedBeforeThePollWithLogs);
    process.tracePath = directory.Join("trace.jsonl");
    process.sandboxPath = directory.Join("sandbox");
    hosttest::LayOutPackage(process.packageDirectory, process.scenarioPath);
    fs::create_directories(process.sandboxPath);
    const std::string host = process.packageDirectory + "/two-updates-host";
    fs::copy_file("/proc/self/exe", host);
    std::vector<std::string> environment = hosttest::HostEnvironment(process);
    environment.push_back(std::string(kTwoUpdatesHostRole) + "=1");
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const hosttest::HostOutcome run = hosttest::RunProgram(
        {host, std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name()},
        environment, process.packageDirectory);
    EXPECT_EQ(run.exitStatus, 0) << run.output << run.errors;
}

}  // namespace
