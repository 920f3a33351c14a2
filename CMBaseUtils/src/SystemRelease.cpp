#include "SystemRelease.h"

#include <strings.h>
#include <sys/stat.h>
#include <sys/utsname.h>

#include <cstdio>

namespace SystemRelease {

namespace {

// Release files are read with the buffer size the recognition was defined with.
constexpr int kLineBufferSize = 1024;

}  // namespace

bool IsESXiKernel() {
    struct utsname names = {};
    return uname(&names) == 0 && strcasecmp(names.sysname, "VMkernel") == 0;
}

bool Exists(const std::string& path) {
    struct stat status = {};
    return stat(path.c_str(), &status) == 0;
}

bool ReadFirstLine(const std::string& path, std::string& line) {
    FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) {
        return false;
    }
    char buffer[kLineBufferSize] = {};
    line = std::fgets(buffer, sizeof buffer, file) != nullptr ? buffer : "";
    std::fclose(file);
    return true;
}

bool FileContainsText(const std::string& path, const std::string& text) {
    FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) {
        return false;
    }
    // Only the tail that could begin a match running into the next piece is
    // carried over, so memory stays bounded for any file.
    const std::string::size_type carried = text.empty() ? 0 : text.size() - 1;
    char buffer[kLineBufferSize];
    std::string window;
    bool found = false;
    std::size_t count = 0;
    while (!found && (count = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        window.append(buffer, count);
        found = window.find(text) != std::string::npos;
        if (window.size() > carried) {
            window.erase(0, window.size() - carried);
        }
    }
    std::fclose(file);
    return found;
}

}  // namespace SystemRelease
