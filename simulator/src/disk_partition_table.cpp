#include "disk_partition_table.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>

#include "sim_core.h"

namespace sim::devices {
namespace {

constexpr uint32_t kFirstSector = 2048;
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

}  // namespace

bool WritePartitionTable(const std::string& path, uint64_t volumeBytes, int fatType) {
    std::array<uint8_t, kSectorBytes> sector{};
    uint8_t* entry = sector.data() + 0x1be;
    const uint32_t sectors = static_cast<uint32_t>(volumeBytes / kSectorBytes);
    // CHS fields say "use LBA", as partitioning tools write for large disks.
    entry[1] = 0xfe;
    entry[2] = 0xff;
    entry[3] = 0xff;
    entry[4] = PartitionType(fatType);
    entry[5] = 0xfe;
    entry[6] = 0xff;
    entry[7] = 0xff;
    PutLittle32(entry + 8, kFirstSector);
    PutLittle32(entry + 12, sectors);
    sector[510] = 0x55;
    sector[511] = 0xaa;

    const int fd = sim::core::RealOpen(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    const bool ok =
        pwrite(fd, sector.data(), sector.size(), 0) == static_cast<ssize_t>(sector.size()) &&
        ftruncate(fd, static_cast<off_t>((kFirstSector + uint64_t{sectors}) * kSectorBytes)) == 0;
    sim::core::RealClose(fd);
    return ok;
}

}  // namespace sim::devices
