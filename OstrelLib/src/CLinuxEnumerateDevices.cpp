#include "CLinuxEnumerateDevices.h"

#include <dirent.h>
#include <fcntl.h>
#include <scsi/scsi.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "FatLabelReader.h"
#include "KORHandles.h"
#include "KORLogger.h"

namespace {

const char* const kSysfsGenericDirectory = "/sys/class/scsi_generic";
const char* const kGenericPrefix = "/dev/sg";
const char* const kDiskPrefix = "/dev/sd";
const char* const kFirstPartitionSuffix = "1";
constexpr int kGenericProbeCount = 4096;
// /dev/sda through /dev/sdzzz.
constexpr int kDiskNameCount = 18278;
constexpr int kLetters = 26;
constexpr int kFirstTwoLetterIndex = 26;
constexpr int kFirstThreeLetterIndex = 702;
// Room for any prefix used here and the longest suffix (a decimal int).
constexpr std::size_t kDeviceNameBytes = 64;

KORHandles::Descriptor OpenReadOnly(const std::string& path) {
    return KORHandles::Descriptor(open(path.c_str(), O_RDONLY | O_NONBLOCK));
}

// The entries scandir allocated, each freed with the list.
class DirectoryListing {
public:
    explicit DirectoryListing(const char* path)
        : m_count(scandir(path, &m_entries, nullptr, nullptr)) {}
    ~DirectoryListing() {
        for (int i = 0; i < m_count; ++i)
            std::free(m_entries[i]);
        std::free(m_entries);
    }
    DirectoryListing(const DirectoryListing&) = delete;
    DirectoryListing& operator=(const DirectoryListing&) = delete;

    bool Failed() const { return m_count < 0; }
    int Count() const { return m_count; }
    const char* Name(int i) const { return m_entries[i]->d_name; }

private:
    dirent** m_entries = nullptr;
    int m_count;
};

bool IsDirectory(const char* path) {
    struct stat info;
    return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

char Letter(int value) {
    return static_cast<char>('a' + value % kLetters);
}

unsigned int IdLunByte(const CLinuxEnumerateDevices::scsi_idlun& idlun, int byte) {
    return (idlun.four_in_one >> (8 * byte)) & 0xff;
}

}  // namespace

CLinuxEnumerateDevices::CLinuxEnumerateDevices(bool skipSG) : m_bSkipSG(skipSG) {
    KOR_LOG(KOR_LOG_DEBUG, "CEnumerateDevices::CLinuxEnumerateDevices");
}

CLinuxEnumerateDevices::~CLinuxEnumerateDevices() = default;

bool CLinuxEnumerateDevices::GetDeviceWithLabel(const std::string& label, std::string& device) {
    KOR_LOG(KOR_LOG_DEBUG, "CEnumerateDevices::GetDeviceWithLabel Start");
    if (!m_bSkipSG) {
        if (!GetAllSGDevices()) {
            KOR_LOG(KOR_LOG_DEBUG, "CEnumerateDevices::GetAllSGDevices failed");
            return false;
        }
        if (!GetEumlatedSGDevices()) {
            KOR_LOG(KOR_LOG_DEBUG, "CEnumerateDevices::GetEumlatedSGDevices failed");
            return false;
        }
    }
    if (!GetSDDevices()) {
        KOR_LOG(KOR_LOG_DEBUG, "CEnumerateDevices::GetSDDevices failed");
        return false;
    }
    for (const auto& entry : m_mapDevices) {
        std::string path = entry.second.sdPath;
        if (path.empty())
            continue;
        KOR_LOG(KOR_LOG_DEBUG, "CEnumerateDevices::GetDeviceWithLabel checking %s", path.c_str());
        std::string found = getLabel(path);
        if (found.empty()) {
            path += kFirstPartitionSuffix;
            found = getLabel(path);
        }
        KOR_LOG(KOR_LOG_DEBUG, "CEnumerateDevices::GetDeviceWithLabel label %s", found.c_str());
        if (!found.empty() && std::strncmp(found.c_str(), label.c_str(), label.length()) == 0) {
            device = path;
            KOR_LOG(KOR_LOG_DEBUG, "CEnumerateDevices::GetDeviceWithLabel -> found a device %s",
                    path.c_str());
            break;
        }
    }
    KOR_LOG(KOR_LOG_DEBUG, "CEnumerateDevices::GetDeviceWithLabel :End");
    return true;
}

bool CLinuxEnumerateDevices::GetAllSGDevices() {
    KOR_LOG(KOR_LOG_DEBUG, "CEnumerateDevices::GetAllSGDevices Start");
    if (IsDirectory(kSysfsGenericDirectory)) {
        KOR_LOG(KOR_LOG_DEBUG, "CEnumerateDevices::GetAllSGDevices sysfs_sg_dir exists");
        const DirectoryListing listing(kSysfsGenericDirectory);
        if (listing.Failed())
            return false;
        // "." and ".." come along; they fail the first query of
        // GetEumlatedSGDevices and drop out there.
        for (int i = 0; i < listing.Count(); ++i)
            m_vecSGDevices.push_back(std::string("/dev/") + listing.Name(i));
        return true;
    }
    char name[kDeviceNameBytes];
    for (int index = 0; index < kGenericProbeCount; ++index) {
        MakeDeviceName(name, kGenericPrefix, index, 0);
        if (OpenReadOnly(name))
            m_vecSGDevices.emplace_back(name);
    }
    return true;
}

bool CLinuxEnumerateDevices::GetEumlatedSGDevices() {
    bool entered = false;
    for (const std::string& path : m_vecSGDevices) {
        const KORHandles::Descriptor fd = OpenReadOnly(path);
        if (!fd)
            continue;
        int emulated = 0;
        if (ioctl(fd.get(), SG_EMULATED_HOST, &emulated) < 0 || emulated == 0)
            continue;
        sg_scsi_id address;
        std::memset(&address, 0, sizeof address);
        if (ioctl(fd.get(), SG_GET_SCSI_ID, &address) < 0)
            continue;
        m_mapDevices[path].address = address;
        entered = true;
    }
    return entered;
}

bool CLinuxEnumerateDevices::GetSDDevices() {
    bool found = false;
    char name[kDeviceNameBytes];
    for (int index = 0; index < kDiskNameCount; ++index) {
        MakeDeviceName(name, kDiskPrefix, index, 0);
        const KORHandles::Descriptor fd = OpenReadOnly(name);
        if (!fd)
            continue;
        scsi_idlun idlun{};
        int busNumber = 0;
        if (ioctl(fd.get(), SCSI_IOCTL_GET_IDLUN, &idlun) < 0 ||
            ioctl(fd.get(), SCSI_IOCTL_GET_BUS_NUMBER, &busNumber) < 0) {
            continue;
        }
        if (m_bSkipSG) {
            sg_device_info& entry = m_mapDevices[name];
            std::memset(&entry.address, 0, sizeof entry.address);
            entry.sdPath = name;
        } else {
            SearchSGDevice(name, idlun, busNumber);
        }
        found = true;
    }
    return found;
}

// The path by value is the declared interface.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
bool CLinuxEnumerateDevices::SearchSGDevice(std::string sdPath,
                                            CLinuxEnumerateDevices::scsi_idlun& idlun,
                                            int busNumber) {
    bool matched = false;
    for (auto& entry : m_mapDevices) {
        const sg_scsi_id& address = entry.second.address;
        if (address.host_no == busNumber &&
            static_cast<unsigned int>(address.scsi_id) == IdLunByte(idlun, 0) &&
            static_cast<unsigned int>(address.lun) == IdLunByte(idlun, 1) &&
            static_cast<unsigned int>(address.channel) == IdLunByte(idlun, 2)) {
            entry.second.sdPath = sdPath;
            matched = true;
        }
    }
    return matched;
}

void CLinuxEnumerateDevices::MakeDeviceName(char* out, const char* prefix, int index, int numeric) {
    std::string name = prefix != nullptr ? prefix : kGenericPrefix;
    if (numeric != 0) {
        name += std::to_string(index);
    } else if (index < 0 || index >= kDiskNameCount) {
        name += "xxxx";
    } else {
        if (index >= kFirstThreeLetterIndex)
            name += Letter((index - kFirstThreeLetterIndex) / (kLetters * kLetters));
        if (index >= kFirstTwoLetterIndex)
            name += Letter((index - kFirstTwoLetterIndex) / kLetters);
        name += Letter(index);
    }
    std::memcpy(out, name.c_str(), name.size() + 1);
}
