#include "COstrelPartitionManagement.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "CIPMICommandManagement.h"
#include "CLinuxEnumerateDevices.h"
#include "CLinuxUtils.h"
#include "CPlatformLayer.h"
#include "KORLogger.h"
#include "KORSystem.h"
#include "ShellWord.h"
#include "VEKErrorCodes.h"
#include "VEKErrorReporting.h"

namespace PartitionFramework {

const char* const dynDriveName = "SECUPD";
const char* const RHatPartDir = "/tmp/";
const char* const ESXi_RESCAN_COMMAND = "esxcli storage filesystem rescan";
const char* const ESXi_IS_SECUPD_ATTACHED_COMMAND = "lsusb | grep -i 0624:0250 > /dev/null";
const char* const ESXi_AUTOMOUNT_COMMAND = "esxcli storage filesystem automount";
const char* const ESXi_LIST_MOUNTED_DEVICES = "ls /vmfs/volumes/ | grep ";
const char* const ESXi_DEVICE_PATH = "/vmfs/volumes/SECUPD/";

namespace {

const char* const kIndexInfoCommand = "DynamicPartitionIndexInfo";
const char* const kInfoCommand = "DynamicPartitionInfo";
const char* const kCreateCommand = "CreateDynamicPartition";
const char* const kAttachCommand = "AttachDynamicPartition";
const char* const kDetachCommand = "DetachDynamicPartition";
const char* const kDeleteCommand = "DeleteDynamicPartition";

constexpr int kMapPosition = 10;
constexpr int kPartitionNumberPosition = 7;
constexpr std::size_t kNamePosition = 8;
constexpr std::size_t kNameBytes = 6;
constexpr int kUnitsPosition = 6;
constexpr int kAttachHandlePosition = 10;
constexpr int kDetachHandlePosition = 10;
constexpr int kDeleteHandlePosition = 6;
constexpr int kWordBytes = 2;
constexpr int kPartitionCount = 16;
constexpr long long kUnitBytes = 32768;
constexpr long long kMaxUnits = 0xFFFF;
// A detach of a partition that is not attached; the partition is detached
// all the same.
constexpr unsigned char kNotAttached = 6;

constexpr int kMountCalls = 5;
constexpr int kMountAttempts = 10;
constexpr int kFindPasses = 10;
constexpr int kUnmountAttempts = 10;
constexpr int kEsxiCleanPasses = 5;
constexpr int kPauseSeconds = 2;
constexpr unsigned int kPrivateMask = 077;

const char* const kLinkPrefix = "/dev/secostupd-";
const char* const kSgLoadedCommand = "lsmod | grep -w sg >/dev/null;echo $?";
// Makes the kernel read the partition tables of every SCSI disk.
const char* const kRescanDisksCommand = "/sbin/blockdev --report /dev/sd* > /dev/null 2>&1";
const char* const kRemoveLinksCommand = "rm -f /dev/secostupd-* > /dev/null 2>&1";
const char* const kEsx4RescanAdaptersCommand =
    "for i in `/usr/sbin/esxcfg-scsidevs -A | /bin/awk '{print $1}' | uniq` ; do "
    "/usr/sbin/esxcfg-rescan $i &> /dev/null ; done";
constexpr std::size_t kMaxCommandOutput = 512;

bool Run(const std::string& commandLine) {
    return KORSystem::RunCommandLine(commandLine).Succeeded();
}

int Platform() {
    return CLinuxUtils::GetLinuxOSPlatform();
}

bool IsEsxi() {
    return Platform() == CLinuxUtils::PLATFORM_ESXI;
}

std::string MountDirectory() {
    return std::string(RHatPartDir) + dynDriveName;
}

std::string LinkPath() {
    return std::string(kLinkPrefix) + dynDriveName;
}

}  // namespace

unsigned short swapBytes(unsigned int value) {
    return static_cast<unsigned short>((value << 8) | ((value >> 8) & 0xFF));
}

std::string executeCmd(const std::string& command) {
    KOR_LOG(KOR_LOG_DEBUG, "Execute Command with popen mode as %s", command.c_str());
    const KORSystem::CommandOutput result =
        KORSystem::ReadCommandOutput(command, kMaxCommandOutput);
    std::string output;
    if (result.status.raw == -1 && result.output.empty())
        KOR_LOG(KOR_LOG_ERROR, "executeCmd : popen failed");
    else
        output = result.output.substr(0, result.output.find('\0'));
    KOR_LOG(KOR_LOG_DEBUG, "Execute Command with popen output %s", output.c_str());
    return output;
}

COstrelPartitionManagement::COstrelPartitionManagement(
    IPMIFramework::CIPMICommandManagement* catalogue)
    : m_usPartitionIndex(0), m_pIPMICommandManagement(catalogue), m_usCreatedPartition(0) {
    KOR_LOG(KOR_LOG_DEBUG, "COstrelPartitionManagement::COstrelPartitionManagement() Entering.");
    KOR_LOG(KOR_LOG_DEBUG, "COstrelPartitionManagement::COstrelPartitionManagement() Leaving.");
}

COstrelPartitionManagement::~COstrelPartitionManagement() {
    KOR_LOG(KOR_LOG_DEBUG, "COstrelPartitionManagement::~COstrelPartitionManagement() Entering.");
    // The partition the update went on with: detached and deleted even when
    // the detach fails, since a partition left on the controller blocks the
    // next update.
    if (m_usPartitionIndex != 0)
        RemoveKnownPartition();
    // A partition this run created but never took up: the controller named it
    // otherwise, or its name could not be read.
    if (m_usCreatedPartition != 0) {
        m_usPartitionIndex = m_usCreatedPartition;
        RemoveKnownPartition();
    }
    m_pIPMICommandManagement = nullptr;
    m_usPartitionIndex = 0;
    KOR_LOG(KOR_LOG_DEBUG, "COstrelPartitionManagement::~COstrelPartitionManagement() Leaving.");
}

namespace {

// A killed update can leave its volume mounted on the mount directory after
// the controller dropped the partition by itself, and its device links: both
// go before anything is mounted there again. A busy mount is tried as often
// as at the detach, 10 times 2 seconds apart; each success is followed by
// another try, for a mount beneath it.
void ClearLeftoverMount() {
    if (IsEsxi())
        return;
    const std::string directory = MountDirectory();
    bool nothingMounted = false;
    for (int attempt = 0; attempt < kUnmountAttempts && !nothingMounted; ++attempt) {
        const int error = KORSystem::Unmount(directory);
        if (error == 0) {
            KOR_LOG(KOR_LOG_INFO, "Unmounted %s, left mounted by an earlier update.",
                    directory.c_str());
        } else if (error == EINVAL || error == ENOENT) {
            nothingMounted = true;
        } else {
            KOR_LOG(KOR_LOG_DEBUG, "Umount Error Num = %d", error);
            CPlatformLayer::Sleep(kPauseSeconds);
        }
    }
    if (!nothingMounted)
        KOR_LOG(KOR_LOG_ERROR, "%s is still mounted by an earlier update.", directory.c_str());
    Run(kRemoveLinksCommand);
}

}  // namespace

void COstrelPartitionManagement::RemoveKnownPartition() {
    Exception::RunCleanupStep("detaching the partition", [this] { DettachDynamicPartition(); });
    Exception::RunCleanupStep("deleting the partition", [this] { DeleteDynamicPartition(); });
}

void COstrelPartitionManagement::CleanupExistingDynamicPartitions() {
    VEK_TRY {
        KOR_LOG(KOR_LOG_DEBUG,
                "COstrelPartitionManagement::CleanupExistingDynamicPartitions() Entering.");
        if (m_usPartitionIndex != 0) {
            DettachDynamicPartition();
            DeleteDynamicPartition();
        } else {
            const unsigned short map = GetDynamicPartitionIndexInfo();
            if (map == 0) {
                // No detach (which unmounts) follows: a mount left without
                // its partition goes here.
                ClearLeftoverMount();
            } else {
                KOR_LOG(KOR_LOG_INFO, "Found old partitions and doing cleanup before startup.");
                for (int number = 0; number < kPartitionCount; ++number) {
                    if ((map & (1u << number)) == 0)
                        continue;
                    m_usPartitionIndex = swapBytes(1u << number);
                    DettachDynamicPartition();
                    DeleteDynamicPartition();
                }
            }
        }
        KOR_LOG(KOR_LOG_DEBUG,
                "COstrelPartitionManagement::CleanupExistingDynamicPartitions() Leaving.");
    }
    VEK_PASS_ON;
}

void COstrelPartitionManagement::CreateDynamicPartition(long long size) {
    VEK_TRY {
        KOR_LOG(KOR_LOG_DEBUG, "COstrelPartitionManagement::CreateDynamicPartition() Entering.");
        const unsigned short before = GetDynamicPartitionIndexInfo();
        const long long units = size / kUnitBytes + (size % kUnitBytes != 0 ? 1 : 0);
        // The request carries 16 bits of units: a larger size would silently
        // ask for a partition too small for the payload.
        if (size < 0 || units > kMaxUnits) {
            KOR_LOG(KOR_LOG_ERROR, "Partition size of %lld bytes cannot be requested.", size);
            VEK_RAISE(VEKErrorCode::kPartitionNotCreated);
        }
        m_pIPMICommandManagement->SetIPMIRequest(kCreateCommand, static_cast<unsigned int>(units),
                                                 kUnitsPosition, kWordBytes);
        const unsigned char code = m_pIPMICommandManagement->ProcessIPMICommand(kCreateCommand);
        if (code != 0) {
            KOR_LOG(KOR_LOG_ERROR, "CreateDynamicPartition failed with completion code 0x%02X.",
                    code);
            VEK_RAISE(VEKErrorCode::kPartitionNotCreated);
        }
        const unsigned short after = GetDynamicPartitionIndexInfo();
        if (after == before) {
            KOR_LOG(KOR_LOG_ERROR, "CreateDynamicPartition left the partition map unchanged.");
            VEK_RAISE(VEKErrorCode::kPartitionNotCreated);
        }
        // A partition that appeared is this run's to delete, even when the
        // query of its name fails or the controller names it otherwise; only
        // one named "SECUPD" becomes the handle the update goes on with.
        const unsigned int appeared = after & ~static_cast<unsigned int>(before);
        if (appeared != 0 && (appeared & (appeared - 1)) == 0)
            m_usCreatedPartition = swapBytes(appeared);
        const std::string name = GetDynamicPartitionInfo(before ^ after);
        KOR_LOG(KOR_LOG_DEBUG,
                "COstrelPartitionManagement::CreateDynamicPartition() Leaving after creating "
                "dynamic partition (%s).",
                name.c_str());
    }
    VEK_PASS_ON;
}

void COstrelPartitionManagement::AttachDynamicPartition() {
    VEK_TRY {
        KOR_LOG(KOR_LOG_DEBUG, "COstrelPartitionManagement::AttachDynamicPartition() Entering.");
        m_pIPMICommandManagement->SetIPMIRequest(kAttachCommand, m_usPartitionIndex,
                                                 kAttachHandlePosition, kWordBytes);
        const unsigned char code = m_pIPMICommandManagement->ProcessIPMICommand(kAttachCommand);
        if (code != 0) {
            KOR_LOG(KOR_LOG_ERROR, "AttachDynamicPartition failed with completion code 0x%02X.",
                    code);
            VEK_RAISE(VEKErrorCode::kPartitionNotAttached);
        }
        for (int call = 0; call < kMountCalls; ++call) {
            if (MountDynPartition()) {
                KOR_LOG(KOR_LOG_DEBUG,
                        "COstrelPartitionManagement::AttachDynamicPartition() Leaving.");
                return;
            }
            KOR_LOG(KOR_LOG_DEBUG, "MountDynPartition did not succeed. Retrying....");
        }
        KOR_LOG(KOR_LOG_ERROR, "The attached partition could not be mounted.");
        VEK_RAISE(VEKErrorCode::kPartitionNotMounted);
    }
    VEK_PASS_ON;
}

void COstrelPartitionManagement::GetDynamicPartitionVolumeName(std::string& path) {
    VEK_TRY {
        KOR_LOG(KOR_LOG_DEBUG,
                "COstrelPartitionManagement::GetDynamicPartitionVolumeName() Entering.");
        path = m_strMountPath;
        if (path.empty()) {
            KOR_LOG(KOR_LOG_ERROR, "The dynamic partition is not mounted.");
            VEK_RAISE(VEKErrorCode::kPartitionNotAttached);
        }
        KOR_LOG(KOR_LOG_DEBUG,
                "COstrelPartitionManagement::GetDynamicPartitionVolumeName() Leaving.");
    }
    VEK_PASS_ON;
}

void COstrelPartitionManagement::DettachDynamicPartition() {
    VEK_TRY {
        KOR_LOG(KOR_LOG_DEBUG, "COstrelPartitionManagement::DettachDynamicPartition() Entering.");
        if (!UnmountDynPartition())
            KOR_LOG(KOR_LOG_ERROR, "Failed to unmount SECUPD device.");
        m_pIPMICommandManagement->SetIPMIRequest(kDetachCommand, m_usPartitionIndex,
                                                 kDetachHandlePosition, kWordBytes);
        const unsigned char code = m_pIPMICommandManagement->ProcessIPMICommand(kDetachCommand);
        if (code != 0 && code != kNotAttached) {
            KOR_LOG(KOR_LOG_ERROR, "DetachDynamicPartition failed with completion code 0x%02X.",
                    code);
            VEK_RAISE(VEKErrorCode::kPartitionNotDetached);
        }
        const int platform = Platform();
        if (platform == CLinuxUtils::PLATFORM_ESXI || platform == CLinuxUtils::PLATFORM_ESX4)
            ESX_RemoveEntries();
        if (platform == CLinuxUtils::PLATFORM_ESXI)
            CleanMountedPartition();
        KOR_LOG(KOR_LOG_DEBUG, "COstrelPartitionManagement::DettachDynamicPartition() Leaving.");
    }
    VEK_PASS_ON;
}

void COstrelPartitionManagement::DeleteDynamicPartition() {
    VEK_TRY {
        KOR_LOG(KOR_LOG_DEBUG, "COstrelPartitionManagement::DeleteDynamicPartition() Entering.");
        m_pIPMICommandManagement->SetIPMIRequest(kDeleteCommand, m_usPartitionIndex,
                                                 kDeleteHandlePosition, kWordBytes);
        const unsigned char code = m_pIPMICommandManagement->ProcessIPMICommand(kDeleteCommand);
        // Cleared even on failure, so that the destructor does not ask again.
        if (m_usPartitionIndex == m_usCreatedPartition)
            m_usCreatedPartition = 0;
        m_usPartitionIndex = 0;
        if (code != 0) {
            KOR_LOG(KOR_LOG_ERROR, "DeleteDynamicPartition failed with completion code 0x%02X.",
                    code);
            VEK_RAISE(VEKErrorCode::kPartitionNotDeleted);
        }
        KOR_LOG(KOR_LOG_DEBUG, "COstrelPartitionManagement::DeleteDynamicPartition() Leaving.");
    }
    VEK_PASS_ON;
}

std::string COstrelPartitionManagement::GetDynamicPartitionInfo(unsigned int map) {
    VEK_TRY {
        KOR_LOG(KOR_LOG_DEBUG, "COstrelPartitionManagement::GetDynamicPartitionInfo() Entering.");
        std::string name;
        for (int number = 0; number < kPartitionCount; ++number) {
            if ((map & (1u << number)) == 0)
                continue;
            m_pIPMICommandManagement->SetIPMIRequest(kInfoCommand, static_cast<unsigned>(number),
                                                     kPartitionNumberPosition, 1);
            const unsigned char code = m_pIPMICommandManagement->ProcessIPMICommandReading(
                kInfoCommand, static_cast<int>(kNamePosition), static_cast<int>(kNameBytes));
            if (code != 0) {
                KOR_LOG(KOR_LOG_ERROR,
                        "DynamicPartitionInfo of partition %d failed with completion code 0x%02X.",
                        number, code);
                VEK_RAISE(VEKErrorCode::kInternalFailure);
            }
            // A completion code of 0 says the controller sent the name's bytes.
            const std::vector<unsigned char>& response =
                m_pIPMICommandManagement->GetIPMIResponse(kInfoCommand);
            name.assign(reinterpret_cast<const char*>(response.data()) + kNamePosition - 1,
                        kNameBytes);
            if (name == dynDriveName) {
                m_usPartitionIndex = swapBytes(1u << number);
                break;
            }
        }
        KOR_LOG(KOR_LOG_DEBUG, "COstrelPartitionManagement::GetDynamicPartitionInfo() Leaving.");
        return name;
    }
    VEK_PASS_ON;
}

unsigned short COstrelPartitionManagement::GetDynamicPartitionIndexInfo() {
    VEK_TRY {
        KOR_LOG(KOR_LOG_DEBUG,
                "COstrelPartitionManagement::GetDynamicPartitionIndexInfo() Entering.");
        const unsigned char code = m_pIPMICommandManagement->ProcessIPMICommandReading(
            kIndexInfoCommand, kMapPosition, kWordBytes);
        if (code != 0) {
            KOR_LOG(KOR_LOG_ERROR, "DynamicPartitionIndexInfo failed with completion code 0x%02X.",
                    code);
            VEK_RAISE(VEKErrorCode::kInternalFailure);
        }
        // The map comes high byte first; the catalogue reads low byte first.
        const unsigned short map = swapBytes(
            m_pIPMICommandManagement->GetIPMIResponse(kIndexInfoCommand, kMapPosition, kWordBytes));
        KOR_LOG(KOR_LOG_DEBUG,
                "COstrelPartitionManagement::GetDynamicPartitionIndexInfo() Leaving.");
        return map;
    }
    VEK_PASS_ON;
}

namespace {

// ESXi mounts an attached controller volume by itself once asked to.
std::string FindEsxiVolume(const std::string& name) {
    const std::string listVolume =
        std::string(ESXi_LIST_MOUNTED_DEVICES) + ShellWord(name) + " > /dev/null";
    for (int pass = 0; pass < kFindPasses; ++pass) {
        KOR_LOG(KOR_LOG_DEBUG, "getDevicePath: going through ESXi way of mounting ");
        Run(ESXi_RESCAN_COMMAND);
        if (!Run(ESXi_IS_SECUPD_ATTACHED_COMMAND)) {
            continue;
        }
        KOR_LOG(KOR_LOG_DEBUG, "getDevicePAth: SECUPD attached on ESXi");
        Run(ESXi_AUTOMOUNT_COMMAND);
        Run(ESXi_RESCAN_COMMAND);
        CPlatformLayer::Sleep(kPauseSeconds);
        if (Run(listVolume)) {
            KOR_LOG(KOR_LOG_DEBUG, "getDevicePath: ESXi mount path found");
            return ESXi_DEVICE_PATH;
        }
        KOR_LOG(KOR_LOG_DEBUG, "getDevicePath: Device Not Found and Trying to Find again");
    }
    return "";
}

// Without the SCSI-generic driver, and on the ESX service consoles, which
// offer no usable SCSI-generic devices, the disks are searched by name.
bool SkipGenericDevices() {
    bool skipGeneric = false;
    if (std::strtol(executeCmd(kSgLoadedCommand).c_str(), nullptr, 10) != 0) {
        KOR_LOG(KOR_LOG_DEBUG, "getDevicePath: SG driver is not loaded ");
        skipGeneric = true;
    }
    const int platform = Platform();
    return skipGeneric || platform == CLinuxUtils::PLATFORM_ESX3 ||
           platform == CLinuxUtils::PLATFORM_ESX4 || platform == CLinuxUtils::PLATFORM_ESX41;
}

std::string FindLinuxDisk(const std::string& name) {
    const bool skipGeneric = SkipGenericDevices();
    for (int pass = 0; pass < kFindPasses; ++pass) {
        Run(kRescanDisksCommand);
        CLinuxEnumerateDevices devices(skipGeneric);
        CPlatformLayer::Sleep(kPauseSeconds);
        std::string device;
        if (devices.GetDeviceWithLabel(name, device) && !device.empty()) {
            KOR_LOG(KOR_LOG_DEBUG, "CEnumerateDevices found a device %s", device.c_str());
            return device;
        }
        KOR_LOG(KOR_LOG_DEBUG, "Re-Trying to find device ");
    }
    return "";
}

// The mount point lies in /tmp, where any user may have put an entry of its
// name first: a link or someone else's directory would let them redirect or
// watch what the update writes. Anything that is not root's own directory
// is removed and the directory made afresh; when it cannot be, the update
// fails at once (waiting cannot change it, and another attempt only gives
// the planter another chance).
void MakeMountPointPrivate(const std::string& directory) {
    const KORSystem::PrivateDirectory made = KORSystem::MakePrivateDirectory(directory);
    if (!made.ready) {
        const std::string& found = made.replaced.empty() ? made.remaining : made.replaced;
        KOR_LOG(KOR_LOG_ERROR,
                "%s is %s, not root's own directory, and cannot be made so: not mounting there.",
                directory.c_str(), found.c_str());
        VEK_RAISE(VEKErrorCode::kPartitionNotMounted);
    }
    if (!made.replaced.empty()) {
        KOR_LOG(KOR_LOG_WARN, "%s was %s: removed, and made afresh as root's own directory.",
                directory.c_str(), made.replaced.c_str());
    }
}

// Mounts the linked device on the directory, up to the allowed attempts,
// each after a pause that gives the device time to settle.
bool MountWithRetries(const std::string& link, const std::string& directory) {
    KOR_LOG(KOR_LOG_DEBUG, "Mounting partition %s on %s ", link.c_str(), directory.c_str());
    const std::string mount = "mount -n -t vfat -oshortname=mixed,rw " + link + " " + directory;
    KOR_LOG(KOR_LOG_DEBUG, "%s", mount.c_str());
    for (int attempt = 0; attempt < kMountAttempts; ++attempt) {
        CPlatformLayer::Sleep(kPauseSeconds);
        // A vfat volume mounted without permission options takes the mounting
        // process's mask: 077 keeps the payload and the mount point closed to
        // other users (who could otherwise hold it busy and stop the unmount).
        if (KORSystem::RunCommandLineWithUmask(mount, kPrivateMask).Succeeded()) {
            return true;
        }
        KOR_LOG(KOR_LOG_DEBUG, "Mount Failed. Re-trying");
    }
    return false;
}

}  // namespace

bool COstrelPartitionManagement::MountDynPartition() {
    VEK_TRY {
        KOR_LOG(KOR_LOG_DEBUG, "COstrelPartitionManagement::MountDynPartition() Entering.");
        const std::string link = LinkPath();
        std::string volume = dynDriveName;
        const std::string device = getDevicePath(volume);
        if (device.empty()) {
            KOR_LOG(KOR_LOG_ERROR, "Correct Volume Label not found.  Partition Not Mounted");
            return false;
        }
        if (IsEsxi()) {
            // ESXi has mounted the volume by itself.
            m_strMountPath = device;
            return true;
        }
        const std::string directory = MountDirectory();
        MakeMountPointPrivate(directory);
        const std::string makeDirectory = "mkdir -p " + directory;
        if (!Run(makeDirectory)) {
            KOR_LOG(KOR_LOG_ERROR, "mkdir failed to create directory : %s", makeDirectory.c_str());
            return false;
        }
        KOR_LOG(KOR_LOG_DEBUG, "Created direcotry : %s ", makeDirectory.c_str());
        const std::string makeLink = "ln -sf " + ShellWord(device) + " " + link;
        if (!Run(makeLink)) {
            KOR_LOG(KOR_LOG_ERROR, "Link creation failed with command %s", makeLink.c_str());
            Run("rm -rf " + directory);
            return false;
        }
        KOR_LOG(KOR_LOG_DEBUG, "Created Link %s", makeLink.c_str());
        if (MountWithRetries(link, directory)) {
            m_strLinkPath = link;
            m_strMountPath = directory;
            KOR_LOG(KOR_LOG_DEBUG, "COstrelPartitionManagement::MountDynPartition() Leaving.");
            return true;
        }
        KOR_LOG(KOR_LOG_ERROR, "mount failed");
        Run("rm -rf " + directory);
        Run("rm -f " + link);
        return false;
    }
    VEK_PASS_ON;
}

bool COstrelPartitionManagement::UnmountDynPartition() {
    VEK_TRY {
        KOR_LOG(KOR_LOG_DEBUG, "COstrelPartitionManagement::UnmountDynPartition() Entering.");
        if (IsEsxi()) {
            KOR_LOG(KOR_LOG_DEBUG, "Unmount not needed for ESXi");
            m_strLinkPath.clear();
            KOR_LOG(KOR_LOG_DEBUG, "COstrelPartitionManagement::UnmountDynPartition() Leaving.");
            return false;
        }
        const std::string directory = MountDirectory();
        bool unmounted = false;
        bool stillMounted = false;
        for (int attempt = 0; attempt < kUnmountAttempts && !unmounted; ++attempt) {
            KOR_LOG(KOR_LOG_DEBUG, "Unmounting dir -> %s", directory.c_str());
            // A link planted in the mount point's place is not followed.
            const int error = KORSystem::Unmount(directory);
            if (error == 0) {
                KOR_LOG(KOR_LOG_DEBUG, "Umount Successful");
                unmounted = true;
                stillMounted = false;
            } else {
                KOR_LOG(KOR_LOG_DEBUG, "Umount Error Num = %d", error);
                // EINVAL: nothing is mounted there.
                stillMounted = error != EINVAL;
                CPlatformLayer::Sleep(kPauseSeconds);
            }
        }
        // Removing the directory of a volume still mounted would delete the
        // copied payload on the partition itself.
        if (!stillMounted)
            Run("rm -rf " + directory + " > /dev/null 2>&1");
        Run(kRemoveLinksCommand);
        m_strLinkPath.clear();
        KOR_LOG(KOR_LOG_DEBUG, "COstrelPartitionManagement::UnmountDynPartition() Leaving.");
        return unmounted;
    }
    VEK_PASS_ON;
}

std::string COstrelPartitionManagement::getDevicePath(std::string& name) {
    VEK_TRY {
        KOR_LOG(KOR_LOG_DEBUG, "COstrelPartitionManagement::getDevicePath() Entering.");
        std::string device;
        if (name.empty()) {
            KOR_LOG(KOR_LOG_ERROR, "getDevicePath: Volume name is empty ");
        } else {
            device = IsEsxi() ? FindEsxiVolume(name) : FindLinuxDisk(name);
            if (device.empty())
                KOR_LOG(KOR_LOG_ERROR, "Could not find the device after all the retries ");
        }
        KOR_LOG(KOR_LOG_DEBUG, "COstrelPartitionManagement::getDevicePath() Leaving.");
        return device;
    }
    VEK_PASS_ON;
}

void COstrelPartitionManagement::CleanMountedPartition() {
    VEK_TRY {
        KOR_LOG(KOR_LOG_DEBUG, "COstrelPartitionManagement::CleanMountedPartition() Entering.");
        const std::string listVolume =
            std::string(ESXi_LIST_MOUNTED_DEVICES) + dynDriveName + " > /dev/null 2>&1";
        // Only ESXi keeps a volume of its own for the partition.
        const int passes = IsEsxi() ? kEsxiCleanPasses : 0;
        for (int pass = 0; pass < passes; ++pass) {
            KOR_LOG(KOR_LOG_DEBUG, "Running Rescan command to remove stale folder name : Try");
            if (!Run(ESXi_RESCAN_COMMAND)) {
                KOR_LOG(KOR_LOG_DEBUG, "Rescan Failed.");
            } else if (!Run(listVolume)) {
                KOR_LOG(KOR_LOG_DEBUG, "SECUPD Removed");
                break;
            }
            CPlatformLayer::Sleep(kPauseSeconds);
        }
        KOR_LOG(KOR_LOG_DEBUG, "Leaving CleanMountedPartition");
    }
    VEK_PASS_ON;
}

void COstrelPartitionManagement::ESX_RemoveEntries() {
    VEK_TRY {
        KOR_LOG(KOR_LOG_DEBUG, "COstrelPartitionManagement::ESX_RemoveEntries() Entering.");
        if (Platform() == CLinuxUtils::PLATFORM_ESX4)
            Run(kEsx4RescanAdaptersCommand);
        KOR_LOG(KOR_LOG_DEBUG, "done");
        KOR_LOG(KOR_LOG_DEBUG, "COstrelPartitionManagement::ESX_RemoveEntries() Leaving.");
    }
    VEK_PASS_ON;
}

}  // namespace PartitionFramework
