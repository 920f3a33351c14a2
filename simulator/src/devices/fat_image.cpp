#include "fat_image.h"

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "sim_core.h"

namespace sim::devices {
namespace {

// Smallest volumes (KiB) that mkfs.vfat formats with one sector per cluster:
// FAT16 needs 4085 clusters, FAT32 65525.
constexpr uint64_t kMinimumFat16KiB = 4096;
constexpr uint64_t kMinimumFat32KiB = 36864;

int Mtool(std::vector<std::string> arguments, std::string* output = nullptr) {
    // The image is a plain file, not a drive with a geometry mtools could check.
    arguments.insert(arguments.begin(), {"env", "MTOOLS_SKIP_CHECK=1"});
    return sim::core::RunTool(arguments, output);
}

// For a failure that only means "empty": its complaint would just be noise.
int QuietMtool(std::vector<std::string> arguments, std::string* output) {
    arguments.insert(arguments.begin(), {"sh", "-c", "exec \"$@\" 2>/dev/null", "sh"});
    return Mtool(std::move(arguments), output);
}

}  // namespace

bool FatImage::Create(const std::string& path, uint64_t bytes, const std::string& label,
                      int fatType, std::string* error) {
    uint64_t kib = (bytes + 1023) / 1024;
    std::vector<std::string> argv = {"mkfs.vfat", "-C", "-n", label};
    if (fatType == 12) {
        argv.insert(argv.end(), {"-F", "12"});
    } else if (fatType == 16) {
        argv.insert(argv.end(), {"-F", "16", "-s", "1"});
        kib = std::max(kib, kMinimumFat16KiB);
    } else if (fatType == 32) {
        argv.insert(argv.end(), {"-F", "32", "-s", "1", "-S", "512"});
        kib = std::max(kib, kMinimumFat32KiB);
    }
    argv.insert(argv.end(), {path, std::to_string(kib)});
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    std::string output;
    if (sim::core::RunTool(argv, &output) != 0) {
        *error = "mkfs.vfat failed for FAT" + std::to_string(fatType) + " of " +
                 std::to_string(kib) + " KiB";
        std::filesystem::remove(path, ignored);
        return false;
    }
    return true;
}

std::vector<std::string> FatImage::List() const {
    std::string output;
    std::vector<std::string> entries;
    // mdir fails on an empty volume: nothing to list then.
    if (QuietMtool({"mdir", "-/", "-b", "-i", path_, "::/"}, &output) != 0)
        return entries;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("::/", 0) == 0 && line.size() > 3)
            entries.push_back(line.substr(3));
    }
    return entries;
}

bool FatImage::ExtractTo(const std::string& directory) const {
    if (List().empty())
        return true;
    return Mtool({"mcopy", "-s", "-n", "-i", path_, "::/*", directory + "/"}) == 0;
}

bool FatImage::ReplaceWith(const std::string& directory) const {
    bool ok = true;
    for (const std::string& entry : List()) {
        if (entry.find('/') == entry.size() - 1) {
            ok = Mtool({"mdeltree", "-i", path_, "::/" + entry.substr(0, entry.size() - 1)}) == 0 &&
                 ok;
        } else if (entry.find('/') == std::string::npos) {
            ok = Mtool({"mdel", "-i", path_, "::/" + entry}) == 0 && ok;
        }
    }
    std::vector<std::string> argv = {"mcopy", "-o", "-s", "-i", path_};
    std::error_code error;
    for (const auto& item : std::filesystem::directory_iterator(directory, error)) {
        argv.push_back(item.path().string());
    }
    if (error)
        return false;
    if (argv.size() == 5)
        return ok;
    argv.emplace_back("::/");
    return Mtool(argv) == 0 && ok;
}

}  // namespace sim::devices
