#include "KOREnvironmentInfo.h"

#include "KORLXOperatingSystemVersion.h"

KOREnvironmentInfo::KOREnvironmentInfo() : m_pOSVersion(nullptr) {}

KOREnvironmentInfo::~KOREnvironmentInfo() {
    delete m_pOSVersion;
}

bool KOREnvironmentInfo::Initialize() {
    if (m_pOSVersion == nullptr) {
        m_pOSVersion = new KORLXOperatingSystemVersion();
        m_pOSVersion->Initialize();
    }
    return true;
}

int KOREnvironmentInfo::GetOSName() const {
    return m_pOSVersion != nullptr ? m_pOSVersion->GetOSName() : KOR_OS_NAME_UNKNOWN;
}

int KOREnvironmentInfo::GetOSArch() const {
    return m_pOSVersion != nullptr ? m_pOSVersion->GetOSArch() : 0;
}

int KOREnvironmentInfo::GetOSType() const {
    return m_pOSVersion != nullptr ? m_pOSVersion->GetOSType() : 0;
}

int KOREnvironmentInfo::GetOSVendorName() const {
    return m_pOSVersion != nullptr ? m_pOSVersion->GetOSVendorName() : 0;
}

KOROperatingSystemVersion* KOREnvironmentInfo::GetOSVersion() const {
    return m_pOSVersion;
}
