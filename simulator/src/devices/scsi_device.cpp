#include "scsi_device.h"

#include <scsi/scsi.h>
#include <scsi/sg.h>

#include <cerrno>
#include <cstring>

namespace sim::devices {
namespace {

// The record SCSI_IOCTL_GET_IDLUN fills (the kernel's struct scsi_idlun).
struct IdLun {
    uint32_t dev_id;
    uint32_t host_unique_id;
};

}  // namespace

int ScsiDevice::Ioctl(unsigned long request, void* arg) {
    if (arg == nullptr &&
        (request == SG_EMULATED_HOST || request == SG_GET_SCSI_ID ||
         request == SCSI_IOCTL_GET_IDLUN || request == SCSI_IOCTL_GET_BUS_NUMBER)) {
        errno = EFAULT;
        return -1;
    }
    const ScsiAddress& address = node_.address;
    switch (request) {
        case SG_EMULATED_HOST:
            // The block layer's SCSI ioctls answer this one on disk nodes too.
            *static_cast<int*>(arg) = node_.emulated ? 1 : 0;
            return 0;
        case SG_GET_SCSI_ID: {
            if (!node_.generic)
                break;
            sg_scsi_id id;
            std::memset(&id, 0, sizeof id);
            id.host_no = address.host;
            id.channel = address.channel;
            id.scsi_id = address.id;
            id.lun = address.lun;
            id.scsi_type = 0;  // direct-access block device
            id.h_cmd_per_lun = 1;
            id.d_queue_depth = 1;
            std::memcpy(arg, &id, sizeof id);
            return 0;
        }
        case SCSI_IOCTL_GET_IDLUN: {
            IdLun idlun;
            idlun.dev_id =
                static_cast<uint32_t>((address.id & 0xff) | (address.lun & 0xff) << 8 |
                                      (address.channel & 0xff) << 16 | (address.host & 0xff) << 24);
            idlun.host_unique_id = static_cast<uint32_t>(address.host + 1);
            std::memcpy(arg, &idlun, sizeof idlun);
            return 0;
        }
        case SCSI_IOCTL_GET_BUS_NUMBER:
            *static_cast<int*>(arg) = address.host;
            return 0;
        default:
            break;
    }
    errno = ENOTTY;
    return -1;
}

}  // namespace sim::devices
