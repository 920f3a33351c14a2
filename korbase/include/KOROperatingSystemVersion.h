#pragma once
// Facts about the running operating system, as numeric codes. The concrete
// class for a platform fills them in Initialize.

#include "KORString.h"

// Name codes. Only the VMware hypervisors are told apart; everything else is unknown.
enum KOROperatingSystemName {
    KOR_OS_NAME_UNKNOWN = 0,
    KOR_OS_NAME_VMWARE_ESX = 18,
    KOR_OS_NAME_VMWARE_ESXI = 19
};

class KOROperatingSystemVersion {
public:
    KOROperatingSystemVersion();
    virtual ~KOROperatingSystemVersion();
    KOROperatingSystemVersion(const KOROperatingSystemVersion&) = delete;
    KOROperatingSystemVersion& operator=(const KOROperatingSystemVersion&) = delete;

    virtual KORString GetVersion() = 0;
    virtual bool Initialize() = 0;

    int GetOSName() const { return m_iOSName; }
    int GetOSArch() const { return m_iOSArch; }
    int GetOSType() const { return m_iOSType; }
    int GetOSVendorName() const { return m_iOSVendor; }
    // The release text the name was recognised from, empty when there was none.
    KORString GetReleaseText() const { return m_releaseText; }

protected:
    int m_iOSName;
    int m_iOSArch;
    int m_iOSType;
    int m_iOSVendor;
    KORString m_releaseText;
};
