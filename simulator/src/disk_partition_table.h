#pragma once
// The whole-disk node of a partitioned disk: an MBR with one partition that
// starts at 1 MiB, and no FAT boot sector of its own, so that a label search
// has to move on to the first partition's node.

#include <cstdint>
#include <string>

namespace sim::devices {

// Creates (or replaces) the file; the partition's bytes are not copied into
// it, the file is sparse beyond the table. False when the file cannot be made.
bool WritePartitionTable(const std::string& path, uint64_t volumeBytes, int fatType);

}  // namespace sim::devices
