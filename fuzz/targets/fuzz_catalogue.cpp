// The command catalogue on arbitrary "ipmi_cmd.ini" contents, on a simulated
// machine reset for each input: it loads or refuses with its own exception,
// and the first commands of a loaded one are filled, sent and read back
// whatever lengths and bytes the file gave them.
#include <kortest/TemporaryDirectory.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "CINIParser.h"
#include "CIPMICommandManagement.h"
#include "CVEKException.h"
#include "SimulatedMachine.h"

using IPMIFramework::CIPMICommandManagement;

namespace {

constexpr size_t kCommandsSent = 3;

void SendLoadedCommands(CIPMICommandManagement& catalogue) {
    CINIParser parser{KORString("ipmi_cmd.ini")};
    if (!parser.OpenAndParse())
        __builtin_trap();  // the catalogue has just read it
    size_t sent = 0;
    for (const std::string& name : parser.GetSectionNames()) {
        if (sent++ == kCommandsSent)
            break;
        try {
            catalogue.SetIPMIRequest(name, 0x1234u, 4, 2);
            catalogue.SetIPMIRequest(name, "text", 6, 3);
            catalogue.ProcessIPMICommand(name);
            catalogue.GetIPMIResponse(name, 3, 4);
            catalogue.GetIPMIResponse(name, 250, 8);
        } catch (const Exception::CVEKException&) {
            // No session yet, or a transfer the controller refused.
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static kortest::TemporaryDirectory directory;
    static const bool entered = (directory.Enter(), true);
    (void)entered;
    fuzzsim::Reconfigure("");
    directory.Write("ipmi_cmd.ini", std::string(reinterpret_cast<const char*>(data), size));
    try {
        CIPMICommandManagement catalogue;
        SendLoadedCommands(catalogue);
    } catch (const Exception::CVEKException&) {
        // A malformed or empty catalogue is refused this way.
    }
    return 0;
}
