#pragma once
// The whole-disk node of a partitioned disk: an MBR with one partition that
// starts at 1 MiB and holds the volume, and no FAT boot sector of its own, so
// that a label search has to follow the table (or move on to the first
// partition's node).

#include <cstdint>
#include <string>

namespace sim::devices {

// The sector the one partition starts at.
constexpr uint32_t kPartitionStartSector = 2048;

// Creates (or replaces) the file at `path`: the table, then a copy of the
// volume file at the partition's offset. False when it cannot be made.
bool WritePartitionedDisk(const std::string& path, const std::string& volume, int fatType);

}  // namespace sim::devices
