// The handling of the controller's answers: a command of the shipped
// catalogue, on a simulated machine reset for each input, gets an arbitrary answer
// (any length, completion code and bytes), an answer to its status poll, a
// transport fault or a refusing completion code. The catalogue and the
// pass-through must come back with a code or their own exception, never read
// past what arrived.
#include <fuzzer/FuzzedDataProvider.h>
#include <kortest/TemporaryDirectory.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "CINIParser.h"
#include "CIPMICommandManagement.h"
#include "CVEKException.h"
#include "IPMICommandRequest.h"
#include "SimulatedMachine.h"

using IPMIFramework::CIPMICommandManagement;

namespace {

const char* const kSessionCommand = "BeginOstrelSessionExtend";
const char* const kFaults[] = {"no_answer", "foreign_id", "oversize", "send_fails",
                               "receive_fails"};
// Where the status poll's answer carries the execution status.
constexpr size_t kPollStatusIndex = 5;
constexpr unsigned char kStatusRunning = 2;

struct Command {
    std::string name;
    bool sessionBound;
};

std::vector<Command> ShippedCommands() {
    CINIParser parser{KORString(KOR_PACKAGE_DIR "/ipmi_cmd.ini")};
    if (!parser.OpenAndParse())
        __builtin_trap();
    std::vector<Command> commands;
    for (const std::string& name : parser.GetSectionNames())
        commands.push_back({name, parser.GetValue(KORString(name), "IsSessionRequired") == "1"});
    return commands;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string text;
    for (uint8_t byte : bytes) {
        char digits[4];
        std::snprintf(digits, sizeof digits, "%02X ", byte);
        text += digits;
    }
    return text;
}

// Answers need network function, command and completion code.
std::vector<uint8_t> Answer(FuzzedDataProvider& input) {
    std::vector<uint8_t> bytes = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange(3, 300));
    bytes.resize(std::max<size_t>(bytes.size(), 3));
    return bytes;
}

std::string Scenario(const std::string& name, FuzzedDataProvider& input) {
    std::ostringstream scenario;
    switch (input.ConsumeIntegralInRange(0, 3)) {
        case 0:
            scenario << "controller.response." << name << " = " << Hex(Answer(input)) << "\n";
            break;
        case 1: {
            // "Still working", then an arbitrary poll answer that ends the wait:
            // a poll reporting "running" forever only repeats itself.
            std::vector<uint8_t> poll = Answer(input);
            if (poll.size() > kPollStatusIndex && poll[kPollStatusIndex] == kStatusRunning)
                poll[kPollStatusIndex] = 0;
            scenario << "controller.response." << name << " = 31 A1 02\n"
                     << "controller.response.poll = " << Hex(poll) << "\n";
            break;
        }
        case 2:
            scenario << "ipmi.fault." << name << " = " << input.PickValueInArray(kFaults) << " "
                     << input.ConsumeIntegralInRange(1, 6) << "\n";
            break;
        default:
            scenario << "controller.cc." << name << " = "
                     << static_cast<int>(input.ConsumeIntegral<uint8_t>()) << " "
                     << input.ConsumeIntegralInRange(1, 6) << "\n";
            break;
    }
    return scenario.str();
}

// A working directory holding the shipped catalogue, entered on the first run.
void EnterPackageDirectory() {
    static kortest::TemporaryDirectory directory;
    static bool entered = false;
    if (entered)
        return;
    std::ostringstream catalogue;
    catalogue << std::ifstream(KOR_PACKAGE_DIR "/ipmi_cmd.ini").rdbuf();
    directory.Write("ipmi_cmd.ini", catalogue.str());
    directory.Enter();
    entered = true;
}

// One catalogue serves every input, so that a run costs the answer and not
// the loading of the file; the pass-through makes its own, as it does for the host.
void RunCommand(const Command& command, bool passThrough, int position, int count) {
    if (passThrough) {
        std::vector<unsigned char> response;
        IPMIFramework::ExecuteIPMICommandRequest(command.name, response);
        return;
    }
    static CIPMICommandManagement catalogue;
    try {
        if (command.sessionBound)
            catalogue.ProcessIPMICommand(kSessionCommand);
        catalogue.ProcessIPMICommand(command.name);
        catalogue.GetIPMIResponse(command.name, position, count);
    } catch (const Exception::CVEKException&) {
        // A refused or failed transfer.
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::vector<Command> commands = ShippedCommands();
    EnterPackageDirectory();
    FuzzedDataProvider input(data, size);
    const Command& command = commands[input.ConsumeIntegralInRange<size_t>(0, commands.size() - 1)];
    const bool passThrough = !command.sessionBound && input.ConsumeBool();
    const int position = input.ConsumeIntegralInRange(-2, 260);
    const int count = input.ConsumeIntegralInRange(-1, 6);
    try {
        fuzzsim::Reconfigure(Scenario(command.name, input));
    } catch (const std::runtime_error&) {
        __builtin_trap();  // the scenario this target writes is always well formed
    }
    RunCommand(command, passThrough, position, count);
    return 0;
}
