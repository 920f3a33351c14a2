#pragma once
// The Linux flavour of the operating-system facts: recognises VMware ESX by
// "/etc/vmware-release" and VMware ESXi by its kernel name "VMkernel".

#include "KOROperatingSystemVersion.h"
#include "KORString.h"

class KORLXOperatingSystemVersion : public KOROperatingSystemVersion {
public:
    KORLXOperatingSystemVersion();
    ~KORLXOperatingSystemVersion() override;

    // "major.minor.build.revision-service"
    KORString GetVersion() override;
    bool Initialize() override;
    KORString GetVendorVersion();

private:
    int m_iMajorVersion;
    int m_iMinorVersion;
    int m_iBuildNumber;
    int m_iRevision;
    KORString m_serviceText;
    KORString m_vendorVersion;
};
