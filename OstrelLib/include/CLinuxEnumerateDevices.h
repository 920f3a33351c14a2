#pragma once
// Finds the disk that carries a FAT volume label among the host's SCSI disks.
// Normal mode narrows the disks to those behind an emulated SCSI host (the
// USB storage adapters) by way of the SCSI-generic devices; skip mode, for
// hosts without the sg driver, considers every SCSI disk. Built for one
// search, so that every search sees the devices as they are at that moment.
//
//     CLinuxEnumerateDevices devices(skipSG);
//     std::string device;
//     if (devices.GetDeviceWithLabel("SECUPD", device) && !device.empty()) ...
//
// Read-only: devices are opened read-only and nothing is ever written.

#include <scsi/sg.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class CLinuxEnumerateDevices {
public:
    // A SCSI-generic device's address as SG_GET_SCSI_ID reports it, and the
    // disk found at that address (empty until one is found).
    struct sg_device_info {
        sg_scsi_id address;
        std::string sdPath;
    };

    // What SCSI_IOCTL_GET_IDLUN fills: byte 0 of the first word is the target
    // id, byte 1 the LUN, byte 2 the channel, byte 3 the host number.
    struct scsi_idlun {
        std::uint32_t four_in_one;
        std::uint32_t host_unique_id;
    };

    explicit CLinuxEnumerateDevices(bool skipSG);
    ~CLinuxEnumerateDevices();
    CLinuxEnumerateDevices(const CLinuxEnumerateDevices&) = delete;
    CLinuxEnumerateDevices& operator=(const CLinuxEnumerateDevices&) = delete;

    // Sets device to the first disk, in device-map order, whose label (or
    // whose first partition's label) begins with label. True once the search
    // completed, found or not; false when an enumeration step failed.
    bool GetDeviceWithLabel(const std::string& label, std::string& device);

    // Lists the SCSI-generic devices from sysfs, or else by probing /dev/sga..
    bool GetAllSGDevices();
    // Keeps the listed devices behind an emulated host, with their addresses.
    bool GetEumlatedSGDevices();
    // Probes /dev/sda to /dev/sdzzz; true when at least one disk answered.
    bool GetSDDevices();
    // Stores sdPath in every entry with this bus number and the IDLUN's id,
    // LUN and channel.
    bool SearchSGDevice(std::string sdPath, CLinuxEnumerateDevices::scsi_idlun& idlun,
                        int busNumber);

    // prefix (or "/dev/sg" when null) followed by index in decimal when
    // numeric is not 0, else by its letters: 0 a, 25 z, 26 aa, 701 zz,
    // 702 aaa, 18277 zzz; "xxxx" for an index outside 0 to 18277. out must
    // hold strlen(prefix) + 12 bytes.
    void MakeDeviceName(char* out, const char* prefix, int index, int numeric);

private:
    std::map<std::string, sg_device_info> m_mapDevices;
    std::vector<std::string> m_vecSGDevices;
    bool m_bSkipSG;
};
