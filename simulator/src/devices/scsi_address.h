#pragma once
// Where a SCSI disk sits: host adapter, channel, target id and LUN, as
// SG_GET_SCSI_ID and SCSI_IOCTL_GET_IDLUN report them.

#include <optional>
#include <string>

namespace sim::devices {

struct ScsiAddress {
    int host = 0;
    int channel = 0;
    int id = 0;
    int lun = 0;
};

// "HOST:CHANNEL:ID:LUN", each 0-255; std::nullopt for anything else.
std::optional<ScsiAddress> ParseScsiAddress(const std::string& text);

}  // namespace sim::devices
