#include "StagingLeftovers.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "PackageFiles.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kMountPoint = "/tmp/SECUPD";
constexpr const char* kLinkPrefix = "secostupd-";

bool IsOctalDigit(char c) {
    return c >= '0' && c <= '7';
}

// A field of /proc/mounts: blanks, tabs, line feeds and backslashes are
// written as a backslash and three octal digits.
std::string Unescaped(const std::string& field) {
    std::string text;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && IsOctalDigit(field[i + 1]) &&
            IsOctalDigit(field[i + 2]) && IsOctalDigit(field[i + 3])) {
            text += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                      (field[i + 3] - '0'));
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

std::string DeviceMountedOn(const std::string& directory) {
    std::ifstream mounts("/proc/mounts");
    std::string device;
    for (std::string line; std::getline(mounts, line);) {
        std::istringstream fields(line);
        std::string source, target;
        fields >> source >> target;
        // The last mount on a directory is the one in sight.
        if (Unescaped(target) == directory) {
            device = Unescaped(source);
        }
    }
    return device;
}

}  // namespace

StagingLeftovers FindStagingLeftovers() {
    StagingLeftovers found;
    found.mountedDevice = DeviceMountedOn(kMountPoint);
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator("/dev", error)) {
        if (entry.path().filename().string().rfind(kLinkPrefix, 0) == 0) {
            found.links.push_back(entry.path().string());
        }
    }
    std::sort(found.links.begin(), found.links.end());
    for (const char* directory : PackageFiles::kRuleDirectories) {
        for (const char* rule : PackageFiles::kRuleFiles) {
            const std::string path = std::string(directory) + "/" + rule;
            struct stat info {};
            if (lstat(path.c_str(), &info) == 0) {
                found.rules.push_back(path);
            }
        }
    }
    return found;
}
