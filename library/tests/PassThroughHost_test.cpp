// The host program's pass-through mode end to end: updatehost and the built
// library in a package directory of their own, run as a separate process
// inside the simulated machine, for every command of the shipped catalogue.
#include <gtest/gtest.h>
#include <kortest/TemporaryDirectory.h>
#include <simmachine/SimMachine.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
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

}  // namespace
