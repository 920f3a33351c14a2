#pragma once
// Reads the volume label of a FAT12, FAT16 or FAT32 file system straight from
// a device, read-only. The boot sector is untrusted: a volume whose numbers
// make no sense (no sectors per cluster, areas beyond the volume, cluster
// numbers outside it) is a volume without label, and every read stays inside
// the bytes the device actually returned.
//
//     std::string label = getLabel("/dev/sdc");  // 11 bytes, blank-padded, or ""

#include <string>

// An open device with its read buffers: the first 69632 bytes of the device
// (read once, grown as needed) and a 4096-byte window for reads beyond them.
struct device {
    int fd;
    unsigned char* head;
    unsigned int headLength;
    unsigned char* window;
    unsigned long long windowOffset;
    unsigned int windowLength;
};

// Opens path read-only and non-blocking; null when that or the allocation
// fails. Give it back with close_dev.
device* open_dev(const char* path);
// Closes the descriptor and frees the buffers and the record; null is fine.
void close_dev(device* dev);

// length bytes of the device at offset, or null when they cannot be read.
// Reads that end beyond the head are capped at 4096 bytes, so the caller asks
// for at most that much there. The pointer is valid until the next call that
// refills the same buffer.
unsigned char* get_buffer(device* dev, unsigned long long offset, unsigned int length);

// Finds the volume-label directory entry of the FAT file system at offset and
// sets *entry to it. -1 when the boot sector cannot be read or its sector
// size is not 512, 1024, 2048 or 4096; otherwise 0, with *entry untouched
// when there is no label.
int getLabel(device* dev, unsigned long long offset, unsigned char** entry);
// The 11-byte label field of the volume on path; empty when the device
// cannot be opened or has no label.
std::string getLabel(std::string path);
