// The host program's pass-through mode end to end: updatehost and the built
// library in a package directory of their own, run as a separate process
// inside the simulated machine, for every command of the shipped catalogue.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <kortest/TemporaryDirectory.h>
#include <simmachine/SimMachine.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "IDeviceExecution.h"

namespace {

namespace fs = std::filesystem;

struct HostRun {
    int exitStatus = -1;
    std::string output;  // stdout and stderr together
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
    std::ifstream file(std::string(KOR_PACKAGE_DIR) + "/ipmi_cmd.ini");
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
        m_package.Enter();
        fs::copy_file(KOR_UPDATEHOST, m_package.Path() + "/updatehost");
        fs::copy_file(KOR_UPDATE_LIBRARY, m_package.Path() + "/vaduzivorirezoz.so.20.06.00");
        for (const char* name : {"ipmi_cmd.ini", "ErrorCodes.xml", "KORIPMIConfig.xml"})
            fs::copy_file(std::string(KOR_PACKAGE_DIR) + "/" + name, m_package.Path() + "/" + name);
    }

    // updatehost ipmi NAME in the package directory, on a fresh simulated machine.
    HostRun RunHost(const std::string& name, const std::string& scenario = "") {
        const std::string scenarioPath = m_package.Write("scenario.txt", scenario);
        const std::string tracePath = m_package.Path() + "/trace.jsonl";
        fs::remove(tracePath);
        int channel[2];
        if (pipe(channel) != 0)
            throw std::runtime_error("pipe failed");
        const pid_t child = fork();
        if (child == 0) {
            dup2(channel[1], 1);
            dup2(channel[1], 2);
            close(channel[0]);
            close(channel[1]);
            if (chdir(m_package.Path().c_str()) != 0)
                _exit(126);
            const std::string preload = std::string("LD_PRELOAD=") + KOR_SIM_LIBRARY;
            const std::string scenarioSetting = "SIMMACHINE_SCENARIO=" + scenarioPath;
            const std::string traceSetting = "SIMMACHINE_TRACE=" + tracePath;
            // The sanitizer build preloads the simulator ahead of the sanitizer
            // runtime. The host unloads the library before it exits, so the
            // library's process-wide singletons look leaked; the in-process
            // tests check the library's own allocations.
            char asanOptions[] = "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0";
            char* environment[] = {const_cast<char*>(preload.c_str()),
                                   const_cast<char*>(scenarioSetting.c_str()),
                                   const_cast<char*>(traceSetting.c_str()), asanOptions, nullptr};
            char program[] = "./updatehost";
            char mode[] = "ipmi";
            char* arguments[] = {program, mode, const_cast<char*>(name.c_str()), nullptr};
            execve(program, arguments, environment);
            _exit(127);
        }
        close(channel[1]);
        HostRun run;
        char buffer[4096];
        for (ssize_t count; (count = read(channel[0], buffer, sizeof buffer)) > 0;)
            run.output.append(buffer, static_cast<std::size_t>(count));
        close(channel[0]);
        int status = 0;
        waitpid(child, &status, 0);
        run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        ReadTrace(tracePath, run);
        return run;
    }

    static void ReadTrace(const std::string& path, HostRun& run) {
        static const std::regex kEvent(
            R"re("kind":"ipmi_(request|response)","name":"([^"]*)".*"bytes":"([^"]*)")re");
        std::ifstream trace(path);
        std::smatch match;
        for (std::string line; std::getline(trace, line);) {
            if (!std::regex_search(line, match, kEvent))
                continue;
            if (match[1] == "request")
                run.requestNames.push_back(match[2]);
            else
                run.responseBytes[match[2]] = match[3];
        }
    }

    kortest::TemporaryDirectory m_package;
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
        const HostRun run = RunHost(command.name);
        if (command.sessionBound) {
            // Each call is a process of its own with a catalogue of its own, in
            // which no session command has run: the library sends nothing.
            EXPECT_EQ(run.exitStatus, 1) << command.name << "\n" << run.output;
            EXPECT_EQ(run.output, "completion code: 0xffffffff\nresponse:\n") << command.name;
            EXPECT_TRUE(run.requestNames.empty()) << command.name;
            continue;
        }
        EXPECT_EQ(run.exitStatus, 0) << command.name << "\n" << run.output;
        EXPECT_EQ(run.requestNames, std::vector<std::string>{command.name});
        ASSERT_EQ(run.responseBytes.count(command.name), 1u) << command.name;
        EXPECT_EQ(run.output,
                  "completion code: 0x00\n" +
                      PrintedResponse(run.responseBytes.at(command.name), command.responseLength) +
                      "\n")
            << command.name;
        // No "vekdebuglog" marker, no log files.
        EXPECT_FALSE(fs::exists(m_package.Path() + "/vekdebug_update.log"));
        EXPECT_FALSE(fs::exists(m_package.Path() + "/koripmi.log"));
    }
}

TEST_F(PassThroughHost, FailuresReachTheHostAsResultOrException) {
    HostRun run = RunHost("NoSuchCommand");
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.output, "completion code: 0xffffffff\nresponse:\n");

    run = RunHost("OrinStatus", "controller.cc.OrinStatus = 0xC9");
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.output, "completion code: 0xc9\nresponse:\n");

    fs::remove(m_package.Path() + "/ipmi_cmd.ini");
    run = RunHost("OrinStatus");
    EXPECT_EQ(run.exitStatus, 3);
    EXPECT_EQ(run.output.rfind("updatehost: the library threw: CVEKException - [The IPMI command "
                               "file ipmi_cmd.ini is missing or malformed.]\n\t at LoadIPMIData(",
                               0),
              0u)
        << run.output;
}

TEST_F(PassThroughHost, ExportReplacesTheCallersResponseOnlyOnSuccess) {
    sim::Reset();
    // Never closed: the library's process-wide singletons (error catalogue,
    // platform layer) live until the process ends, and would look leaked to
    // the sanitizer build once their library was unmapped.
    void* library = dlopen(KOR_UPDATE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    auto passThrough =
        reinterpret_cast<ProcessIPMICommandRequestFn>(dlsym(library, KOR_EXPORT_PASSTHROUGH_NAME));
    ASSERT_NE(passThrough, nullptr);

    const std::vector<unsigned char> previous(40, 0xEE);
    std::vector<unsigned char> response = previous;
    EXPECT_NE(passThrough("NoSuchCommand", response), 0u);
    EXPECT_EQ(response, previous);
    EXPECT_EQ(passThrough("OstrelType", response), 0u);
    EXPECT_EQ(response, (std::vector<unsigned char>{0x31, 0xA1, 0x00, 0x00}));
}

}  // namespace
