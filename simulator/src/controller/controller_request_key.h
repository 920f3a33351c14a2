#pragma once
// The request a per-command fault key names (controller.cc.NAME,
// ipmi.fault.NAME, ...): NAME is a command of the controller's table that
// takes that kind of fault, or NETFN:CMD in hexadecimal for a request by its
// first two bytes (Get Device ID: 06:01).

#include <cstdint>
#include <string>
#include <vector>

#include "controller_commands.h"

namespace sim::devices {

class RequestKey {
public:
    // Throws std::runtime_error starting with scenarioKey when name is neither
    // a command that takes `fault` nor NETFN:CMD: a misspelt name would
    // otherwise never match and the fault would go unnoticed.
    static RequestKey Parse(const std::string& scenarioKey, const std::string& name,
                            CommandFault fault);

    // request starts with the network function and the command code. A
    // NETFN:CMD key passes over the table's commands that do not take the fault.
    bool Matches(const std::vector<uint8_t>& request) const;

private:
    CommandFault fault_ = kCompletionCodeFault;
    const ControllerCommand* command_ = nullptr;  // null: by the first two bytes
    uint8_t netFn_ = 0;
    uint8_t commandCode_ = 0;
};

}  // namespace sim::devices
