#pragma once
// Value types carried by a device record. Shared with the host program: the
// member order and types are part of the interface and must not change.

#include <string>

enum eDeviceType { DEVICE_TYPE_NOT_SET = 0, DEVICE_TYPE_PCI = 1, DEVICE_TYPE_NON_PCI = 2 };

enum eDependencyType { DEPENDENCY_HARD = 1, DEPENDENCY_SOFT = 2 };

struct SPCIInfo {
    std::string strComponentID;
    std::string strDeviceID;
    std::string strSubDeviceID;
    std::string strVendorID;
    std::string strSubVendorID;
    std::string strDisplay;
};

struct SOSInfo {
    std::string strMajorVersion;
    std::string strMinorVersion;
    std::string strSPMajorVersion;
    std::string strSPMinorVersion;
    std::string strOSVendor;
    std::string strOSArch;
    std::string strSuiteMask;    // not read from the descriptor; left empty
    std::string strProductType;  // not read from the descriptor; left empty
    std::string strBuildNumber;
};

struct _BDFInfo {
    unsigned char ucBus;
    unsigned char ucDevice;
    unsigned char ucFunction;
};

// System facts a host may attach to a record; the library only carries them.
class CSystemInfo {
public:
    std::string strSystemID;
    std::string strSystemName;
    std::string strServiceTag;
    std::string strBIOSVersion;
};

// Application records attached by the host; the library only keeps pointers.
class CDeviceApplicationInfo;
