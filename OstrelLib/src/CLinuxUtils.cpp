#include "CLinuxUtils.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <optional>

#include "CPlatformLayer.h"
#include "KORFileType.h"
#include "KORLogger.h"
#include "KORSystem.h"
#include "RunTimeFiles.h"
#include "ShellWord.h"
#include "SystemRelease.h"

int CLinuxUtils::m_iLinuxPlatform = CLinuxUtils::PLATFORM_NOT_ROOT;
bool CLinuxUtils::m_bHaldDaemonRunning = false;

namespace {

const std::string RHatUdevLibDir = "/etc/udev/rules.d/";
const std::string AltUdevLibDir1 = "/lib/udev/rules.d/";
const std::string AltUdevLibDir2 = "/run/udev/rules.d/";
const std::string RedHatRel = "/etc/redhat-release";
const std::string SuseRel = "/etc/SuSE-release";
const std::string ESXRel = "/etc/vmware-release";
const std::string WMBRel = "/VERSION";
const std::string RPXRel = "/VER_INFO";
const std::string NewRPXRel = "/wmb-version";

const std::string kUsbRuleFile = "98-secupdusb.rules";
const std::string kTesselRuleFile = "00-secupd-tessel.rules";

const std::string kHalDaemonScript = "/etc/init.d/haldaemon";
const std::string kUdevadm = "/sbin/udevadm";
const std::string kUdevcontrol = "/sbin/udevcontrol";
constexpr std::size_t kHalStatusBufferSize = 1024;
constexpr int kSystemFailed = -1;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The raw status of the command line. A command that ran but did not succeed
// is logged at WARN with its status; whether that fails the step is the
// caller's decision.
int RunCommand(const std::string& command) {
    const int status = CPlatformLayer::ExecuteCmd(command, false, 0);
    if (status != 0 && status != kSystemFailed) {
        KOR_LOG(KOR_LOG_WARN, "Command %s ended with status %d (exit code %d)", command.c_str(),
                status, KORSystem::CommandStatus{status}.ExitCode());
    }
    return status;
}

// Steps 3a to 3d: the ESX service consoles.
std::optional<int> RecogniseVMwareRelease() {
    std::string line;
    if (!SystemRelease::ReadFirstLine(ESXRel, line)) {
        return std::nullopt;
    }
    if (Contains(line, "VMware ESX Server 3")) {
        KOR_LOG(KOR_LOG_DEBUG, "getLinuxOSVer: ESX 3 Found");
        return CLinuxUtils::PLATFORM_ESX3;
    }
    if (Contains(line, "VMware ESX 4.1")) {
        KOR_LOG(KOR_LOG_DEBUG, "getLinuxOSVer: ESX 4 Found");
        return CLinuxUtils::PLATFORM_ESX41;
    }
    if (Contains(line, "VMware ESX 4")) {
        KOR_LOG(KOR_LOG_DEBUG, "getLinuxOSVer: ESX 4 Found");
        return CLinuxUtils::PLATFORM_ESX4;
    }
    KOR_LOG(KOR_LOG_DEBUG, "getLinuxOSVer: Unrecognized VMWare Found");
    return std::nullopt;
}

// Steps 4a to 4d: Red Hat and the systems that carry its release file.
std::optional<int> RecogniseRedHatRelease() {
    std::string line;
    if (!SystemRelease::ReadFirstLine(RedHatRel, line)) {
        return std::nullopt;
    }
    if (Contains(line, "Red Hat")) {
        KOR_LOG(KOR_LOG_DEBUG, "getLinuxOSVer REDHAT found");
        return CLinuxUtils::PLATFORM_REDHAT;
    }
    if (Contains(line, "XenServer")) {
        KOR_LOG(KOR_LOG_DEBUG, "getLinuxOSVer Xenserver found");
        return CLinuxUtils::PLATFORM_XENSERVER;
    }
    // The maker's newer environment also carries a Red Hat style release file;
    // with "/wmb-version" present the CentOS test does not apply.
    if (SystemRelease::Exists(NewRPXRel)) {
        if (SystemRelease::FileContainsText(NewRPXRel, "WMB_MAJOR_VERSION")) {
            KOR_LOG(KOR_LOG_DEBUG, "getLinuxOSVer: NEW UMI(RPX) Found");
            return CLinuxUtils::PLATFORM_NEW_UMI;
        }
        return std::nullopt;
    }
    if (Contains(line, "Cent")) {
        KOR_LOG(KOR_LOG_DEBUG, "getLinuxOSVer CentOS found");
        return CLinuxUtils::PLATFORM_CENTOS;
    }
    return std::nullopt;
}

// Steps 2 to 8, for a process that is root.
int RecognisePlatform() {
    if (SystemRelease::IsESXiKernel()) {
        KOR_LOG(KOR_LOG_DEBUG, "getLinuxOSVer: ESXi Found");
        return CLinuxUtils::PLATFORM_ESXI;
    }
    if (const std::optional<int> esx = RecogniseVMwareRelease()) {
        return *esx;
    }
    if (const std::optional<int> redHat = RecogniseRedHatRelease()) {
        return *redHat;
    }
    if (SystemRelease::Exists(SuseRel)) {
        KOR_LOG(KOR_LOG_DEBUG, "getLinuxOSVer: SLES Found");
        return CLinuxUtils::PLATFORM_SUSE;
    }
    if (SystemRelease::FileContainsText(WMBRel, "WMB_MAJOR_VERSION")) {
        KOR_LOG(KOR_LOG_DEBUG, "getLinuxOSVer: UMI(WMB) Found");
        return CLinuxUtils::PLATFORM_UMI;
    }
    if (SystemRelease::FileContainsText(RPXRel, "RPX_MAJOR_VERSION")) {
        KOR_LOG(KOR_LOG_DEBUG, "getLinuxOSVer: UMI(RPX) Found");
        return CLinuxUtils::PLATFORM_UMI;
    }
    return CLinuxUtils::PLATFORM_REDHAT;
}

// True when both rule files were copied; both are tried either way.
bool CopyRuleFiles(const std::string& directory) {
    // The trailing blank separates the file from the directory on the command line.
    const bool usbRuleCopied = CLinuxUtils::CopyFile(kUsbRuleFile + " ", directory);
    const bool tesselRuleCopied = CLinuxUtils::CopyFile(kTesselRuleFile + " ", directory);
    return usbRuleCopied && tesselRuleCopied;
}

void RemoveRuleFiles(const std::string& directory) {
    unlink((directory + kUsbRuleFile).c_str());
    unlink((directory + kTesselRuleFile).c_str());
}

// An update that stops the HAL daemon says so in a root-only marker first and
// removes it once the daemon runs again, so that the next update restores a
// daemon that a killed one left stopped.
bool HalStoppedByEarlierUpdate() {
    return KORSystem::IsOwnRegularFile(RunTimeFiles::HalStoppedMarkerPath());
}

void MarkHalStopped() {
    const std::string marker = RunTimeFiles::HalStoppedMarkerPath();
    if (!KORSystem::PlaceMarkerFile(marker)) {
        KOR_LOG(KOR_LOG_WARN, "Could not write %s", marker.c_str());
    }
}

void ForgetHalStopped() {
    KORSystem::RemoveFile(RunTimeFiles::HalStoppedMarkerPath());
}

// A name with the blanks that end it kept apart, so that only the name is quoted.
std::string ShellWordKeepingTrailingBlanks(const std::string& text) {
    const std::string::size_type end = text.find_last_not_of(' ');
    const std::string::size_type nameLength = end == std::string::npos ? 0 : end + 1;
    return ShellWord(text.substr(0, nameLength)) + text.substr(nameLength);
}

// A file copied into the system's rule directories and made readable to all
// must be a regular file of the package itself: cp -H reads whatever a link
// names, so a FIFO or a device would hang or flood the copy, and a link out
// of the working directory would publish another file. A missing one is left
// to the copy, which fails.
bool MayCopyRuleFile(const std::string& name) {
    if (!SystemRelease::Exists(name)) {
        return true;
    }
    if (const std::optional<std::string> found = KORIrregularFileAt(name)) {
        KOR_LOG(KOR_LOG_ERROR, "Udev rule file %s is %s, not a regular file; not copied.",
                name.c_str(), found->c_str());
        return false;
    }
    char directory[PATH_MAX];
    char resolved[PATH_MAX];
    if (::getcwd(directory, sizeof directory) == nullptr ||
        ::realpath(name.c_str(), resolved) == nullptr ||
        std::string(resolved).rfind(std::string(directory) + "/", 0) != 0) {
        KOR_LOG(KOR_LOG_ERROR, "Udev rule file %s leads out of the package directory; not copied.",
                name.c_str());
        return false;
    }
    return true;
}

}  // namespace

int CLinuxUtils::GetLinuxOSPlatform() {
    if (m_iLinuxPlatform != PLATFORM_NOT_ROOT) {
        return m_iLinuxPlatform;
    }
    if (!IsRunningAsRoot()) {
        KOR_LOG(KOR_LOG_ERROR, "getLinuxOSVer:user is not root");
        return PLATFORM_NOT_ROOT;
    }
    m_iLinuxPlatform = RecognisePlatform();
    return m_iLinuxPlatform;
}

bool CLinuxUtils::IsRunningAsRoot() {
    return setuid(0) == 0;
}

bool CLinuxUtils::udevhalInstall() {
    IsHalDaemonRunning();
    if (m_iLinuxPlatform == PLATFORM_SUSE && !m_bHaldDaemonRunning && HalStoppedByEarlierUpdate()) {
        KOR_LOG(KOR_LOG_INFO,
                "haldaemon was stopped by an update that did not end; it is started again at "
                "the end of this one.");
        m_bHaldDaemonRunning = true;
    }
    // Rules that are not in place are not installed, whatever follows.
    const bool copied = CopyRuleFiles(RHatUdevLibDir);
    RestartUdevRules();

    bool activated = false;
    switch (m_iLinuxPlatform) {
        case PLATFORM_REDHAT:
            activated = RestartUdevRules();
            break;
        case PLATFORM_SUSE:
            // SUSE's HAL daemon would take the partition's disk for itself.
            if (m_bHaldDaemonRunning) {
                MarkHalStopped();
                activated = StopHalDaemon();
            }
            break;
        default:
            // Newer udev reads its rules from these directories as well.
            CopyRuleFiles(AltUdevLibDir1);
            CopyRuleFiles(AltUdevLibDir2);
            RestartUdevRules();
            break;
    }

    const bool installed = copied && activated;
    if (installed) {
        KOR_LOG(KOR_LOG_DEBUG, "Udev rule successfully Installed");
    } else {
        KOR_LOG(KOR_LOG_DEBUG, "Udev rule is not Installed");
    }
    return installed;
}

bool CLinuxUtils::udevhalUninstall() {
    RemoveRuleFiles(RHatUdevLibDir);
    RestartUdevRules();
    if (m_iLinuxPlatform != PLATFORM_SUSE) {
        RemoveRuleFiles(AltUdevLibDir1);
        RemoveRuleFiles(AltUdevLibDir2);
        RestartUdevRules();
    } else if (m_bHaldDaemonRunning && StartHalDaemon()) {
        ForgetHalStopped();
    }
    KOR_LOG(KOR_LOG_DEBUG, "Udev  successfully Uninstalled");
    return true;
}

bool CLinuxUtils::RestartUdevRules() {
    KOR_LOG(KOR_LOG_DEBUG, "CLinuxUtils::RestartUdevRules()");
    std::string command;
    if (SystemRelease::Exists(kUdevadm)) {
        command = kUdevadm + " control --reload-rules > /dev/null 2>&1";
    } else if (SystemRelease::Exists(kUdevcontrol)) {
        command = kUdevcontrol + " reload_rules > /dev/null 2>&1";
    } else {
        return true;
    }
    KOR_LOG(KOR_LOG_DEBUG, "%s", command.c_str());
    if (RunCommand(command) == kSystemFailed) {
        KOR_LOG(KOR_LOG_DEBUG, "failed RestartUdevRules");
        return false;
    }
    KOR_LOG(KOR_LOG_DEBUG, "RestartUdevRules restarted ");
    return true;
}

bool CLinuxUtils::IsHalDaemonRunning() {
    if (m_bHaldDaemonRunning) {
        return true;
    }
    KOR_LOG(KOR_LOG_DEBUG, "Inside CLinuxUtils::IsHalDaemonRunning");
    if (access(kHalDaemonScript.c_str(), X_OK) != 0) {
        return m_bHaldDaemonRunning;
    }
    const std::string text =
        KORSystem::ReadCommandOutput(kHalDaemonScript + " status", kHalStatusBufferSize).output;
    // "not running" is how some init scripts say the opposite.
    if (Contains(text, "running") && !Contains(text, "not running")) {
        m_bHaldDaemonRunning = true;
        KOR_LOG(KOR_LOG_DEBUG, "haldaemon is running");
    }
    return m_bHaldDaemonRunning;
}

bool CLinuxUtils::StartHalDaemon() {
    if (RunCommand(kHalDaemonScript + " start > /dev/null 2>&1") == kSystemFailed) {
        KOR_LOG(KOR_LOG_DEBUG, "failed to start the haldaemon");
        return false;
    }
    KOR_LOG(KOR_LOG_DEBUG, "started haldaemon");
    return true;
}

bool CLinuxUtils::StopHalDaemon() {
    if (RunCommand(kHalDaemonScript + " stop > /dev/null 2>&1") == kSystemFailed) {
        KOR_LOG(KOR_LOG_DEBUG, "failed to stop the haldaemon");
        return false;
    }
    KOR_LOG(KOR_LOG_DEBUG, "stopped haldaemon");
    return true;
}

bool CLinuxUtils::CopyFile(const std::string& file, const std::string& directory) {
    if (!SystemRelease::Exists(directory)) {
        KOR_LOG(KOR_LOG_DEBUG, "Input Path does not exists %s", directory.c_str());
        return false;
    }
    if (!MayCopyRuleFile(file.substr(0, file.find_last_not_of(' ') + 1))) {
        return false;
    }
    const std::string copy = "cp -fH " + ShellWordKeepingTrailingBlanks(file) +
                             ShellWord(directory) + " > /dev/null 2>&1";
    KOR_LOG(KOR_LOG_DEBUG, "%s", copy.c_str());
    // A copy that exited non-zero left no rule behind (or a stale one).
    if (RunCommand(copy) != 0) {
        KOR_LOG(KOR_LOG_DEBUG, "CopyFile fdi file failed");
        return false;
    }
    const std::string permissions =
        "chmod 755 " + ShellWordKeepingTrailingBlanks(directory + "/" + file) + " > /dev/null 2>&1";
    KOR_LOG(KOR_LOG_DEBUG, "%s", permissions.c_str());
    const int status = RunCommand(permissions);
    sync();
    if (status == kSystemFailed) {
        KOR_LOG(KOR_LOG_DEBUG, "Change file permission to 755");
        return false;
    }
    return true;
}
