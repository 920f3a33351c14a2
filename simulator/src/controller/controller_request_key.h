#pragma once
// Scenario keys that name requests (ipmi.fault.NAME, controller.cc.NAME, ...):
// a command name, "poll" for the fixed status poll, or NETFN:CMD in
// hexadecimal for requests without a name (Get Device ID: 06:01).

#include <cstdint>
#include <string>
#include <vector>

namespace sim::devices {

// name is what the model matched the request to ("poll", "?" for none);
// request starts with the network function and the command code.
bool RequestKeyMatches(const std::string& key, const std::string& name,
                       const std::vector<uint8_t>& request);

}  // namespace sim::devices
