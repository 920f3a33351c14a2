#include "SystemRelease.h"

#include <strings.h>
#include <sys/stat.h>
#include <sys/utsname.h>

#include <cstdio>

#include "KORHandles.h"

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
    const KORHandles::File file(std::fopen(path.c_str(), "r"));
    if (!file) {
        return false;
    }
    char buffer[kLineBufferSize] = {};
    line = std::fgets(buffer, sizeof buffer, file.get()) != nullptr ? buffer : "";
    return true;
}

bool FileContainsText(const std::string& path, const std::string& text) {
    const KORHandles::File file(std::fopen(path.c_str(), "r"));
    if (!file) {
        return false;
    }
    // Only the tail that could begin a match running into the next piece is
    // carried over, so memory stays bounded for any file.
    const std::string::size_type carried = text.empty() ? 0 : text.size() - 1;
    char buffer[kLineBufferSize];
    std::string window;
    bool found = false;
    std::size_t count = 0;
    while (!found && (count = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
        window.append(buffer, count);
        found = window.find(text) != std::string::npos;
        if (window.size() > carried) {
            window.erase(0, window.size() - carried);
        }
    }
    return found;
}

}  // namespace SystemRelease
