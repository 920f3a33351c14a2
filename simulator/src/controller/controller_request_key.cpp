#include "controller_request_key.h"

#include "controller_wire.h"

namespace sim::devices {

bool RequestKeyMatches(const std::string& key, const std::string& name,
                       const std::vector<uint8_t>& request) {
    if (key == name)
        return true;
    const auto colon = key.find(':');
    if (colon == std::string::npos || request.size() < 2)
        return false;
    std::vector<uint8_t> netfn;
    std::vector<uint8_t> cmd;
    return ParseHexBytes(key.substr(0, colon), &netfn) && netfn.size() == 1 &&
           ParseHexBytes(key.substr(colon + 1), &cmd) && cmd.size() == 1 &&
           netfn[0] == request[0] && cmd[0] == request[1];
}

}  // namespace sim::devices
