#pragma once
// Operating-system facts of the running machine. Initialize recognises the
// system once; the getters answer 0 before that.

#include "KOROperatingSystemVersion.h"

class KOREnvironmentInfo {
public:
    KOREnvironmentInfo();
    ~KOREnvironmentInfo();
    KOREnvironmentInfo(const KOREnvironmentInfo&) = delete;
    KOREnvironmentInfo& operator=(const KOREnvironmentInfo&) = delete;

    bool Initialize();
    int GetOSName() const;
    int GetOSArch() const;
    int GetOSType() const;
    int GetOSVendorName() const;
    // Null before Initialize; owned by this object.
    KOROperatingSystemVersion* GetOSVersion() const;

private:
    KOROperatingSystemVersion* m_pOSVersion;
};
