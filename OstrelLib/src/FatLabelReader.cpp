#include "FatLabelReader.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

#include "KORHandles.h"

namespace {

constexpr unsigned int kHeadBytes = 69632;
constexpr unsigned int kWindowBytes = 4096;
constexpr unsigned int kBootSectorBytes = 512;
constexpr unsigned int kEntryBytes = 32;
constexpr unsigned int kAttributeOffset = 11;
constexpr unsigned char kVolumeLabelAttribute = 0x08;
constexpr unsigned int kLabelBytes = 11;
// FAT12 (up to 4084 clusters) and FAT16 keep a fixed root directory; beyond
// this count the volume is FAT32.
constexpr std::uint64_t kMaxFat16Clusters = 65524;
constexpr unsigned int kMaxRootClusters = 99;
constexpr std::uint32_t kClusterNumberMask = 0x0FFFFFFF;
// From here on a FAT32 entry marks a bad cluster or the end of a chain.
constexpr std::uint32_t kFirstBadClusterMark = 0x0FFFFFF7;
constexpr std::uint32_t kFirstDataCluster = 2;

std::uint16_t Le16(const unsigned char* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

std::uint32_t Le32(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

bool Equals(const unsigned char* bytes, const char* text) {
    return std::memcmp(bytes, text, std::strlen(text)) == 0;
}

// Reads until count bytes are in or the device has no more; the number read.
std::size_t ReadUpTo(int fd, unsigned char* buffer, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = read(fd, buffer + done, count - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

bool IsFatBootSector(const unsigned char* boot) {
    return Equals(boot + 0x52, "MSWIN") || Equals(boot + 0x52, "FAT32   ") ||
           Equals(boot + 0x36, "FAT16   ") || Equals(boot + 0x36, "MSDOS") ||
           Equals(boot + 0x36, "FAT12   ");
}

bool IsAllowedSectorSize(unsigned int bytesPerSector) {
    return bytesPerSector == 512 || bytesPerSector == 1024 || bytesPerSector == 2048 ||
           bytesPerSector == 4096;
}

enum class ScanEnd { Exhausted, Stopped, ReadFailed };

// Hands every 32-byte directory entry of the region to visit, in order, with
// its device offset, until visit returns false. The region is read in pieces
// no larger than the window, so an entry is never looked at beyond the bytes
// the device returned.
template <typename Visit>
ScanEnd ScanEntries(device* dev, std::uint64_t start, std::uint64_t bytes, Visit visit) {
    for (std::uint64_t done = 0; done < bytes;) {
        const auto piece = static_cast<unsigned int>(
            std::min<std::uint64_t>(bytes - done, kWindowBytes) / kEntryBytes * kEntryBytes);
        if (piece == 0)
            break;
        unsigned char* entries = get_buffer(dev, start + done, piece);
        if (entries == nullptr)
            return ScanEnd::ReadFailed;
        for (unsigned int at = 0; at < piece; at += kEntryBytes) {
            if (!visit(entries + at, start + done + at))
                return ScanEnd::Stopped;
        }
        done += piece;
    }
    return ScanEnd::Exhausted;
}

// The numbers of a boot sector that locate the root directory, all checked
// against the volume's own size.
struct Geometry {
    std::uint64_t bytesPerSector;
    std::uint64_t sectorsPerCluster;
    std::uint64_t reservedSectors;
    std::uint64_t sectorsPerFat;
    std::uint64_t firstDataSector;  // after the reserved sectors and the FATs
    std::uint64_t rootEntries;
    std::uint64_t clusterCount;
    std::uint32_t rootCluster;
};

// False for a volume whose numbers make no sense: no sectors per cluster, or
// reserved area, FATs and root directory together larger than the volume.
bool ReadGeometry(const unsigned char* boot, Geometry& geometry) {
    geometry.bytesPerSector = Le16(boot + 0x0B);
    geometry.sectorsPerCluster = boot[0x0D];
    geometry.reservedSectors = Le16(boot + 0x0E);
    geometry.rootEntries = Le16(boot + 0x11);
    geometry.rootCluster = Le32(boot + 0x2C);
    const std::uint64_t fats = boot[0x10];
    const std::uint64_t totalSectors =
        Le16(boot + 0x13) != 0 ? Le16(boot + 0x13) : Le32(boot + 0x20);
    geometry.sectorsPerFat = Le16(boot + 0x16) != 0 ? Le16(boot + 0x16) : Le32(boot + 0x24);
    geometry.firstDataSector = geometry.reservedSectors + fats * geometry.sectorsPerFat;
    const std::uint64_t rootSectors =
        (geometry.rootEntries * kEntryBytes + geometry.bytesPerSector - 1) /
        geometry.bytesPerSector;
    if (geometry.sectorsPerCluster == 0 || geometry.firstDataSector + rootSectors > totalSectors) {
        return false;
    }
    geometry.clusterCount =
        (totalSectors - geometry.firstDataSector - rootSectors) / geometry.sectorsPerCluster;
    return true;
}

// FAT12 and FAT16: a fixed root directory after the FATs; the last label
// entry before the first free one wins.
void FindLabelInFixedRoot(device* dev, std::uint64_t volume, const Geometry& geometry,
                          unsigned char** entry) {
    std::uint64_t labelAt = 0;
    bool found = false;
    const ScanEnd end = ScanEntries(
        dev, volume + geometry.firstDataSector * geometry.bytesPerSector,
        geometry.rootEntries * kEntryBytes, [&](const unsigned char* candidate, std::uint64_t at) {
            if (candidate[kAttributeOffset] == 0)
                return false;
            if (candidate[kAttributeOffset] == kVolumeLabelAttribute) {
                labelAt = at;
                found = true;
            }
            return true;
        });
    if (end == ScanEnd::ReadFailed || !found)
        return;
    // Later pieces may have refilled the buffer the label was seen in.
    if (unsigned char* label = get_buffer(dev, labelAt, kEntryBytes))
        *entry = label;
}

// FAT32: the root directory is a cluster chain; the first label entry wins.
void FindLabelInRootChain(device* dev, std::uint64_t volume, const Geometry& geometry,
                          unsigned char** entry) {
    const std::uint64_t clusterBytes = geometry.sectorsPerCluster * geometry.bytesPerSector;
    const std::uint64_t lastCluster = geometry.clusterCount + kFirstDataCluster - 1;
    const std::uint64_t fatBytes = geometry.sectorsPerFat * geometry.bytesPerSector;
    std::uint32_t cluster = geometry.rootCluster;
    for (unsigned int visited = 0; visited < kMaxRootClusters; ++visited) {
        if (cluster < kFirstDataCluster || cluster > lastCluster)
            return;
        const std::uint64_t clusterAt =
            volume + (geometry.firstDataSector +
                      (cluster - kFirstDataCluster) * geometry.sectorsPerCluster) *
                         geometry.bytesPerSector;
        bool directoryEnds = false;
        const ScanEnd end =
            ScanEntries(dev, clusterAt, clusterBytes, [&](unsigned char* candidate, auto) {
                if (candidate[kAttributeOffset] == 0) {
                    directoryEnds = true;
                    return false;
                }
                if (candidate[kAttributeOffset] == kVolumeLabelAttribute) {
                    *entry = candidate;
                    return false;
                }
                return true;
            });
        if (end != ScanEnd::Exhausted || directoryEnds)
            return;
        if (std::uint64_t{cluster} * 4 + 4 > fatBytes)
            return;
        const unsigned char* next =
            get_buffer(dev,
                       volume + geometry.reservedSectors * geometry.bytesPerSector +
                           std::uint64_t{cluster} * 4,
                       4);
        if (next == nullptr)
            return;
        cluster = Le32(next) & kClusterNumberMask;
        if (cluster >= kFirstBadClusterMark)
            return;
    }
}

struct DeviceCloser {
    void operator()(device* dev) const { close_dev(dev); }
};

}  // namespace

device* open_dev(const char* path) {
    KORHandles::Descriptor fd(open(path, O_RDONLY | O_NONBLOCK));
    if (!fd)
        return nullptr;
    auto* dev = static_cast<device*>(std::calloc(1, sizeof(device)));
    if (dev == nullptr)
        return nullptr;
    dev->fd = fd.release();
    return dev;
}

void close_dev(device* dev) {
    if (dev == nullptr)
        return;
    KORHandles::Descriptor closing(dev->fd);
    std::free(dev->head);
    std::free(dev->window);
    std::free(dev);
}

unsigned char* get_buffer(device* dev, unsigned long long offset, unsigned int length) {
    if (dev == nullptr || offset > std::numeric_limits<unsigned long long>::max() - length)
        return nullptr;
    const unsigned long long end = offset + length;
    if (end <= kHeadBytes) {
        if (dev->head == nullptr)
            dev->head = static_cast<unsigned char*>(std::malloc(kHeadBytes));
        if (dev->head == nullptr)
            return nullptr;
        if (dev->headLength < end) {
            if (lseek(dev->fd, 0, SEEK_SET) != 0)
                return nullptr;
            const std::size_t got = ReadUpTo(dev->fd, dev->head, end);
            // What was valid before stays valid: the same bytes were read again.
            if (got > dev->headLength)
                dev->headLength = static_cast<unsigned int>(got);
            if (got < end)
                return nullptr;
        }
        return dev->head + offset;
    }
    if (dev->window == nullptr)
        dev->window = static_cast<unsigned char*>(std::malloc(kWindowBytes));
    if (dev->window == nullptr)
        return nullptr;
    if (length > kWindowBytes)
        length = kWindowBytes;
    const bool inWindow = offset >= dev->windowOffset &&
                          offset - dev->windowOffset <= dev->windowLength &&
                          length <= dev->windowLength - (offset - dev->windowOffset);
    if (!inWindow) {
        if (offset > static_cast<unsigned long long>(std::numeric_limits<off_t>::max()) ||
            lseek(dev->fd, static_cast<off_t>(offset), SEEK_SET) < 0) {
            return nullptr;
        }
        const std::size_t got = ReadUpTo(dev->fd, dev->window, length);
        dev->windowOffset = offset;
        dev->windowLength = static_cast<unsigned int>(got);
        if (got < length)
            return nullptr;
    }
    return dev->window + (offset - dev->windowOffset);
}

int getLabel(device* dev, unsigned long long offset, unsigned char** entry) {
    const unsigned char* read = get_buffer(dev, offset, kBootSectorBytes);
    if (read == nullptr)
        return -1;
    // A copy, since the directory reads may refill the buffer it came from.
    unsigned char boot[kBootSectorBytes];
    std::memcpy(boot, read, sizeof boot);
    if (!IsFatBootSector(boot))
        return 0;
    if (!IsAllowedSectorSize(Le16(boot + 0x0B)))
        return -1;
    Geometry geometry{};
    if (!ReadGeometry(boot, geometry))
        return 0;
    if (geometry.clusterCount <= kMaxFat16Clusters)
        FindLabelInFixedRoot(dev, offset, geometry, entry);
    else
        FindLabelInRootChain(dev, offset, geometry, entry);
    return 0;
}

// The path by value is the declared interface.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
std::string getLabel(std::string path) {
    const std::unique_ptr<device, DeviceCloser> dev(open_dev(path.c_str()));
    if (!dev)
        return "";
    unsigned char* entry = nullptr;
    getLabel(dev.get(), 0, &entry);
    if (entry == nullptr)
        return "";
    return std::string(reinterpret_cast<const char*>(entry), kLabelBytes);
}
