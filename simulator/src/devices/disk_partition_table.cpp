#include "disk_partition_table.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>

#include "sim_core.h"

namespace sim::devices {
namespace {

constexpr size_t kSectorBytes = 512;

void PutLittle32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint8_t PartitionType(int fatType) {
    switch (fatType) {
        case 12:
            return 0x01;
        case 16:
            return 0x0e;  // FAT16, LBA addressed
        default:
            return 0x0c;  // FAT32, LBA addressed
    }
}

// Copies the volume behind the table; holes stay holes, so a large sparse
// volume costs only what it holds.
bool CopyVolume(int from, int to, uint64_t offset) {
    char buffer[64 * 1024];
    off_t at = 0;
    for (;;) {
        const ssize_t got = pread(from, buffer, sizeof buffer, at);
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        bool empty = true;
        for (ssize_t i = 0; i < got && empty; ++i)
            empty = buffer[i] == 0;
        if (!empty &&
            pwrite(to, buffer, static_cast<size_t>(got), static_cast<off_t>(offset) + at) != got) {
            return false;
        }
        at += got;
    }
}

}  // namespace

bool WritePartitionedDisk(const std::string& path, const std::string& volume, int fatType) {
    const int source = sim::core::RealOpen(volume.c_str(), O_RDONLY);
    if (source < 0)
        return false;
    const off_t volumeBytes = lseek(source, 0, SEEK_END);
    std::array<uint8_t, kSectorBytes> sector{};
    uint8_t* entry = sector.data() + 0x1be;
    const uint32_t sectors =
        static_cast<uint32_t>(static_cast<uint64_t>(volumeBytes) / kSectorBytes);
    // CHS fields say "use LBA", as partitioning tools write for large disks.
    entry[1] = 0xfe;
    entry[2] = 0xff;
    entry[3] = 0xff;
    entry[4] = PartitionType(fatType);
    entry[5] = 0xfe;
    entry[6] = 0xff;
    entry[7] = 0xff;
    PutLittle32(entry + 8, kPartitionStartSector);
    PutLittle32(entry + 12, sectors);
    sector[510] = 0x55;
    sector[511] = 0xaa;

    const int fd = sim::core::RealOpen(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        sim::core::RealClose(source);
        return false;
    }
    const uint64_t offset = uint64_t{kPartitionStartSector} * kSectorBytes;
    const bool ok =
        volumeBytes >= 0 &&
        pwrite(fd, sector.data(), sector.size(), 0) == static_cast<ssize_t>(sector.size()) &&
        ftruncate(fd, static_cast<off_t>(offset + uint64_t{sectors} * kSectorBytes)) == 0 &&
        CopyVolume(source, fd, offset);
    sim::core::RealClose(fd);
    sim::core::RealClose(source);
    return ok;
}

}  // namespace sim::devices
