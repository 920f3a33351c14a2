#include "scsi_address.h"

#include <sstream>

namespace sim::devices {

std::optional<ScsiAddress> ParseScsiAddress(const std::string& text) {
    int parts[4] = {};
    size_t start = 0;
    for (int index = 0; index < 4; ++index) {
        const size_t end = index < 3 ? text.find(':', start) : text.size();
        if (end == std::string::npos || end == start || end - start > 3)
            return std::nullopt;
        const std::string part = text.substr(start, end - start);
        if (part.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        parts[index] = std::stoi(part);
        if (parts[index] > 255)
            return std::nullopt;
        start = end + 1;
    }
    return ScsiAddress{parts[0], parts[1], parts[2], parts[3]};
}

}  // namespace sim::devices
