#pragma once
// A real FAT volume in a file, made by mkfs.vfat and read and written with
// mtools, as the controller's staging disk and the scenario's extra disks.

#include <cstdint>
#include <string>
#include <vector>

namespace sim::devices {

class FatImage {
public:
    explicit FatImage(std::string path) : path_(std::move(path)) {}

    // fatType 12, 16 or 32, or 0 to let mkfs.vfat choose. A volume of a fixed
    // type is made at least as large as that type needs (a partition of the
    // usual 35 units only holds FAT12), the rest of the file stays sparse.
    // False with *error set when mkfs.vfat refuses.
    static bool Create(const std::string& path, uint64_t bytes, const std::string& label,
                       int fatType, std::string* error);

    // Paths of everything on the volume relative to its root, directories
    // with a trailing "/", in the volume's order.
    std::vector<std::string> List() const;
    // Copies the whole volume into an existing directory.
    bool ExtractTo(const std::string& directory) const;
    // Makes the volume hold exactly what the directory holds.
    bool ReplaceWith(const std::string& directory) const;

private:
    std::string path_;
};

}  // namespace sim::devices
