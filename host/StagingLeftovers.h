#pragma once
// What an update leaves on the machine while it runs, and a killed one
// afterwards: the staging volume mounted on /tmp/SECUPD, the /dev/secostupd-*
// device links and the staging udev rules.

#include <string>
#include <vector>

struct StagingLeftovers {
    std::string mountedDevice;       // what /proc/mounts says is on /tmp/SECUPD; empty: nothing
    std::vector<std::string> links;  // the device links, full paths
    std::vector<std::string> rules;  // the installed staging rule files, full paths

    bool Any() const { return !mountedDevice.empty() || !links.empty() || !rules.empty(); }
};

StagingLeftovers FindStagingLeftovers();
