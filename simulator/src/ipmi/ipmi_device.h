#pragma once
// One open IPMI device node, speaking the Linux IPMI driver's ioctl interface
// (linux/ipmi.h) to the controller model: requests go to the system
// interface, answers queue up per descriptor until they are received.

// The driver's header uses the ioctl number macros without including them.
#include <sys/ioctl.h>

#include <linux/ipmi.h>

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "sim_core.h"

namespace sim::devices {

class IpmiDevice : public sim::core::FdDevice {
public:
    // An open node holds the IPMI modules in the kernel, as the driver's
    // own reference counts do.
    explicit IpmiDevice(std::string path);
    ~IpmiDevice() override;
    IpmiDevice(const IpmiDevice&) = delete;
    IpmiDevice& operator=(const IpmiDevice&) = delete;

    int Ioctl(unsigned long request, void* arg) override;
    // A request about to be sent reaches the hold points of its command.
    void BeforeIoctl(unsigned long request, const void* arg) override;
    bool ReadReady() override;
    void Closed() override;

private:
    struct Answer {
        long msgid = 0;
        ipmi_system_interface_addr address{};
        std::vector<uint8_t> message;  // network function, command, completion code, data
        bool failReceiveOnce = false;
    };

    int Send(const ipmi_req& request);
    int Receive(ipmi_recv& receive, bool truncate);
    // The IPMB address or LUN of a channel, set or read; called with mutex_ held.
    int ChannelSetting(unsigned long request, void* arg);

    const std::string path_;
    std::mutex mutex_;
    std::deque<Answer> answers_;
    unsigned myAddress_ = 0x20;  // the driver's defaults: the BMC's address, LUN 2
    unsigned myLun_ = 2;
    int getsEvents_ = 0;
    int maintenanceMode_ = 0;
    ipmi_timing_parms timing_{0, 0};
};

}  // namespace sim::devices
