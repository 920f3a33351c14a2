#include "KOROperatingSystemVersion.h"

KOROperatingSystemVersion::KOROperatingSystemVersion()
    : m_iOSName(KOR_OS_NAME_UNKNOWN), m_iOSArch(0), m_iOSType(0), m_iOSVendor(0) {}

KOROperatingSystemVersion::~KOROperatingSystemVersion() {}
