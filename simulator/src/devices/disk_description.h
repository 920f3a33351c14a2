#pragma once
// A SCSI disk the scenario adds to the machine:
//   disk NAME = label=L fat=12|16|32 size=BYTES emulated=yes|no layout=whole|partitioned
//               address=HOST:CHANNEL:ID:LUN image=PATH

#include <cstdint>
#include <optional>
#include <string>

#include "scsi_address.h"

namespace sim::devices {

struct DiskDescription {
    std::string name;  // a name like sdb is also the disk's device name
    std::string label;
    int fatType = 0;  // 0: mkfs.vfat chooses
    uint64_t bytes = uint64_t{8} * 1024 * 1024;
    bool emulated = false;  // true: behind an emulated host adapter, as USB disks are
    bool partitioned = false;
    std::optional<ScsiAddress> address;  // unset: the registry's default
    std::string image;  // a volume file to copy instead of making one (label, fat, size unused)

    // Throws std::runtime_error naming the disk for a malformed value.
    static DiskDescription Parse(const std::string& name, const std::string& value);
};

}  // namespace sim::devices
