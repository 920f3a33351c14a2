#pragma once
// The work behind the library's IPMI pass-through export: one named command
// of "ipmi_cmd.ini", run on a catalogue made for this call alone.

#include <string>
#include <vector>

namespace IPMIFramework {

// What ExecuteIPMICommandRequest answers when the command could not be run at
// all; outside the range of completion codes, so the host can tell the two apart.
constexpr unsigned int kIPMICommandRequestFailed = 0xFFFFFFFFu;

// Returns the command's completion code and, only when that is 0, replaces
// response by the command's stored response (network function, command,
// completion code, data). An unknown name or a failed transfer gives
// kIPMICommandRequestFailed; response is then left as it was. A catalogue
// that cannot be loaded throws its CVEKException to the caller.
unsigned int ExecuteIPMICommandRequest(const std::string& commandName,
                                       std::vector<unsigned char>& response);

}  // namespace IPMIFramework
