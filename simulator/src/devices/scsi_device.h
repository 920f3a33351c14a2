#pragma once
// The ioctls a SCSI disk's nodes answer. Reads are not ours: the descriptor
// is the disk's volume file opened for real.

#include "disk_registry.h"
#include "sim_core.h"

namespace sim::devices {

class ScsiDevice : public sim::core::FdDevice {
public:
    explicit ScsiDevice(const DiskNode& node) : node_(node) {}
    int Ioctl(unsigned long request, void* arg) override;

private:
    DiskNode node_;
};

}  // namespace sim::devices
