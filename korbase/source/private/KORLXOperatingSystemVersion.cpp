#include "KORLXOperatingSystemVersion.h"

#include <strings.h>
#include <sys/utsname.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "KORHandles.h"

namespace {

const char kVMwareReleaseFile[] = "/etc/vmware-release";

// The first line of the file, without its line feed; empty when it cannot be read.
std::string ReadFirstLine(const char* path) {
    const KORHandles::File file(std::fopen(path, "r"));
    if (!file) {
        return std::string();
    }
    char buffer[1024];
    std::string line;
    if (std::fgets(buffer, sizeof(buffer), file.get()) != nullptr) {
        line.assign(buffer, std::strcspn(buffer, "\n"));
    }
    return line;
}

}  // namespace

KORLXOperatingSystemVersion::KORLXOperatingSystemVersion()
    : m_iMajorVersion(0), m_iMinorVersion(0), m_iBuildNumber(0), m_iRevision(0) {}

KORLXOperatingSystemVersion::~KORLXOperatingSystemVersion() {}

KORString KORLXOperatingSystemVersion::GetVersion() {
    return KORString(std::to_string(m_iMajorVersion) + "." + std::to_string(m_iMinorVersion) + "." +
                     std::to_string(m_iBuildNumber) + "." + std::to_string(m_iRevision) + "-") +
           m_serviceText;
}

bool KORLXOperatingSystemVersion::Initialize() {
    m_iOSName = KOR_OS_NAME_UNKNOWN;
    std::string release = ReadFirstLine(kVMwareReleaseFile);
    m_releaseText = KORString(release);
    if (release.find("VMware ESX") != std::string::npos) {
        m_iOSName = KOR_OS_NAME_VMWARE_ESX;
    }
    // ESXi may still carry an ESX release file; its kernel name decides.
    struct utsname system;
    if (uname(&system) == 0 && strcasecmp(system.sysname, "VMkernel") == 0) {
        m_iOSName = KOR_OS_NAME_VMWARE_ESXI;
    }
    return true;
}

KORString KORLXOperatingSystemVersion::GetVendorVersion() {
    m_vendorVersion = KORString("6.5");
    return m_vendorVersion;
}
