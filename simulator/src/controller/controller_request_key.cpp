#include "controller_request_key.h"

#include <stdexcept>

#include "controller_wire.h"

namespace sim::devices {

RequestKey RequestKey::Parse(const std::string& scenarioKey, const std::string& name,
                             CommandFault fault) {
    RequestKey key;
    key.fault_ = fault;
    key.command_ = CommandNamed(name);
    if (key.command_ != nullptr) {
        if (!key.command_->Takes(fault))
            throw std::runtime_error(scenarioKey + ": " + name + " does not take this fault");
        return key;
    }
    const auto colon = name.find(':');
    std::vector<uint8_t> netFn;
    std::vector<uint8_t> command;
    if (colon == std::string::npos || !ParseHexBytes(name.substr(0, colon), &netFn) ||
        netFn.size() != 1 || !ParseHexBytes(name.substr(colon + 1), &command) ||
        command.size() != 1) {
        throw std::runtime_error(scenarioKey + ": " + name +
                                 " is no command (a command name, poll or NETFN:CMD in hex)");
    }
    key.netFn_ = netFn[0];
    key.commandCode_ = command[0];
    return key;
}

bool RequestKey::Matches(const std::vector<uint8_t>& request) const {
    const ControllerCommand* command = CommandOf(request);
    if (command_ != nullptr)
        return command == command_;
    return request.size() >= 2 && request[0] == netFn_ && request[1] == commandCode_ &&
           (command == nullptr || command->Takes(fault_));
}

}  // namespace sim::devices
