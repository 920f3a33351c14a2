#pragma once
// FAT volumes for the label reader's tests: made by the real mkfs.vfat at
// test time, then patched where a test needs what no tool produces.

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace fattest {

// Runs mkfs.vfat itself, never through the simulated shell; kib is the size.
inline void MakeVolume(const std::string& path, unsigned kib, std::vector<std::string> options) {
    std::vector<std::string> argv = {"mkfs.vfat", "-C"};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(path);
    argv.push_back(std::to_string(kib));
    std::vector<char*> pointers;
    pointers.reserve(argv.size() + 1);
    for (std::string& argument : argv)
        pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    unlink(path.c_str());
    const pid_t child = fork();
    if (child == 0) {
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, STDOUT_FILENO);
        dup2(quiet, STDERR_FILENO);
        execvp(pointers[0], pointers.data());
        _exit(127);
    }
    int status = -1;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        throw std::runtime_error("mkfs.vfat failed for " + path);
    }
}

inline std::vector<uint8_t> ReadBytes(const std::string& path, uint64_t offset, size_t count) {
    std::vector<uint8_t> bytes(count);
    const int fd = open(path.c_str(), O_RDONLY);
    const ssize_t got = fd < 0 ? -1 : pread(fd, bytes.data(), count, static_cast<off_t>(offset));
    if (fd >= 0)
        close(fd);
    bytes.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return bytes;
}

inline void WriteBytes(const std::string& path, uint64_t offset,
                       const std::vector<uint8_t>& bytes) {
    const int fd = open(path.c_str(), O_WRONLY);
    const bool written =
        fd >= 0 && pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)) ==
                       static_cast<ssize_t>(bytes.size());
    if (fd >= 0)
        close(fd);
    if (!written)
        throw std::runtime_error("cannot patch " + path);
}

inline std::vector<uint8_t> Little(uint32_t value, size_t count) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < count; ++i)
        bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
    return bytes;
}

// A 32-byte directory entry: an 11-byte name, blank-padded, and its attribute.
inline std::vector<uint8_t> Entry(std::string name, uint8_t attribute) {
    name.resize(11, ' ');
    std::vector<uint8_t> entry(name.begin(), name.end());
    entry.push_back(attribute);
    entry.resize(32, 0);
    return entry;
}

// Where a volume's parts lie, from its boot sector.
struct Layout {
    uint64_t bytesPerSector = 0;
    uint64_t sectorsPerCluster = 0;
    uint64_t reservedSectors = 0;
    uint64_t firstDataSector = 0;  // FAT12/16: where the root directory starts
    uint64_t rootSectors = 0;
    uint32_t rootCluster = 0;

    uint64_t RootDirectory() const { return firstDataSector * bytesPerSector; }
    uint64_t Cluster(uint32_t number) const {
        return (firstDataSector + rootSectors + (number - 2) * sectorsPerCluster) * bytesPerSector;
    }
    // The fixed root directory, or FAT32's first root cluster.
    uint64_t RootStart() const { return rootSectors != 0 ? RootDirectory() : Cluster(rootCluster); }
    uint64_t FatEntry(uint32_t number) const {
        return reservedSectors * bytesPerSector + 4 * uint64_t{number};
    }
};

inline Layout ReadLayout(const std::string& path) {
    const std::vector<uint8_t> boot = ReadBytes(path, 0, 512);
    const auto field = [&boot](size_t at, size_t count) {
        uint32_t value = 0;
        for (size_t i = 0; i < count; ++i)
            value |= uint32_t{boot.at(at + i)} << (8 * i);
        return value;
    };
    Layout layout;
    layout.bytesPerSector = field(0x0B, 2);
    layout.sectorsPerCluster = field(0x0D, 1);
    layout.reservedSectors = field(0x0E, 2);
    const uint64_t sectorsPerFat = field(0x16, 2) != 0 ? field(0x16, 2) : field(0x24, 4);
    layout.firstDataSector = layout.reservedSectors + field(0x10, 1) * sectorsPerFat;
    layout.rootSectors =
        (uint64_t{field(0x11, 2)} * 32 + layout.bytesPerSector - 1) / layout.bytesPerSector;
    layout.rootCluster = field(0x2C, 4);
    return layout;
}

}  // namespace fattest
