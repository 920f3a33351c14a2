#include "controller_stage_check.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <optional>

#include "fat_image.h"
#include "sim_core.h"

namespace sim::devices {
namespace {

constexpr size_t kMaxManifestBytes = 1 << 20;
constexpr char kManifest[] = "input_secupd.xml";

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// The volume unpacked, with FAT's case-blind lookup of its files.
class UnpackedVolume {
public:
    UnpackedVolume(const std::string& volume, const std::string& scratch) : scratch_(scratch) {
        const FatImage image(volume);
        ok_ = image.ExtractTo(scratch);
        for (const std::string& entry : image.List()) {
            if (entry.back() == '/')
                continue;
            files_.push_back(entry);
            byLowerName_[Lower(entry)] = entry;
        }
    }

    bool ok() const { return ok_; }
    const std::vector<std::string>& files() const { return files_; }

    // The unpacked file's path, empty when the volume has no such file.
    std::string Find(const std::string& relative) const {
        const auto it = byLowerName_.find(Lower(relative));
        return it == byLowerName_.end() ? "" : scratch_ + "/" + it->second;
    }

private:
    std::string scratch_;
    bool ok_ = false;
    std::vector<std::string> files_;
    std::map<std::string, std::string> byLowerName_;
};

std::string Sha256Of(const std::string& path) {
    std::string output;
    if (sim::core::RunTool({"sha256sum", "--", path}, &output) != 0 || output.size() < 64) {
        return "";
    }
    return output.substr(0, 64);
}

bool ReadSmallFile(const std::string& path, std::string* text) {
    const int fd = sim::core::RealOpen(path.c_str(), O_RDONLY);
    if (fd < 0)
        return false;
    text->clear();
    char buffer[4096];
    ssize_t count = 0;
    while ((count = read(fd, buffer, sizeof buffer)) > 0 && text->size() <= kMaxManifestBytes) {
        text->append(buffer, static_cast<size_t>(count));
    }
    sim::core::RealClose(fd);
    return count == 0 && text->size() <= kMaxManifestBytes;
}

// The text between <tag> and </tag> inside block, nothing when absent.
std::optional<std::string> Element(const std::string& block, const std::string& tag) {
    const std::string open = "<" + tag + ">";
    const auto start = block.find(open);
    if (start == std::string::npos)
        return std::nullopt;
    const auto end = block.find("</" + tag + ">", start + open.size());
    if (end == std::string::npos)
        return std::nullopt;
    return Trim(block.substr(start + open.size(), end - start - open.size()));
}

bool SafeRelativePath(const std::string& path) {
    if (path.empty() || path[0] == '/')
        return false;
    for (const auto& part : std::filesystem::path(path)) {
        if (part == "..")
            return false;
    }
    return true;
}

StageCheckResult Fail(const UnpackedVolume& unpacked, const std::string& reason) {
    return {false, reason, unpacked.files()};
}

}  // namespace

StageCheckResult StageCheck::Sha(const std::string& volume, const std::string& digest,
                                 const std::string& scratch) {
    const UnpackedVolume unpacked(volume, scratch);
    if (!unpacked.ok())
        return Fail(unpacked, "the partition cannot be read");
    const std::string manifestPath = unpacked.Find(kManifest);
    std::string manifest;
    if (manifestPath.empty() || !ReadSmallFile(manifestPath, &manifest)) {
        return Fail(unpacked, "input_secupd.xml is missing or unreadable");
    }
    if (digest.size() != 64)
        return Fail(unpacked, "the manifest digest received is incomplete");
    if (Lower(Sha256Of(manifestPath)) != Lower(digest)) {
        return Fail(unpacked, "input_secupd.xml does not match the digest received");
    }
    if (!Element(manifest, "OSTREL_Update"))
        return Fail(unpacked, "no OSTREL_Update element");
    size_t listed = 0;
    for (auto start = manifest.find("<File"); start != std::string::npos;
         start = manifest.find("<File", start + 1)) {
        const auto end = manifest.find("</File>", start);
        if (end == std::string::npos)
            return Fail(unpacked, "a File element is not closed");
        const std::string block = manifest.substr(start, end - start);
        const auto hash = Element(block, "Hash");
        const auto source = Element(block, "Source");
        if (!hash || !source || !SafeRelativePath(*source)) {
            return Fail(unpacked, "a File element lacks a Hash or a relative Source");
        }
        const std::string path = unpacked.Find(*source);
        if (path.empty())
            return Fail(unpacked, *source + " is missing");
        if (Lower(Sha256Of(path)) != Lower(*hash)) {
            return Fail(unpacked, *source + " does not match its Hash");
        }
        ++listed;
    }
    if (listed == 0)
        return Fail(unpacked, "the manifest lists no file");
    return {true, "ok", unpacked.files()};
}

StageCheckResult StageCheck::Gpg(const std::string& volume, const std::string& scratch) {
    const UnpackedVolume unpacked(volume, scratch);
    if (!unpacked.ok())
        return Fail(unpacked, "the partition cannot be read");
    for (const char* needed : {"payload/package.xml", "payload/package.xml.sign"}) {
        if (unpacked.Find(needed).empty())
            return Fail(unpacked, std::string(needed) + " is missing");
    }
    return {true, "ok", unpacked.files()};
}

}  // namespace sim::devices
