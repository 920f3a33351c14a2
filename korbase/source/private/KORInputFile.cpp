#include "KORInputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "KORFileType.h"
#include "KORLogger.h"

namespace {

void LogNotRegular(const std::string& path, unsigned int mode) {
    KOR_LOG(KOR_LOG_ERROR, "Input file (%s) is %s, not a regular file.", path.c_str(),
            KORFileTypeName(mode).c_str());
}

void LogCannotOpen(const std::string& path, int error) {
    KOR_LOG(KOR_LOG_ERROR, "Cannot open input file (%s): %s.", path.c_str(), std::strerror(error));
}

}  // namespace

bool KORInputFileReadable(const KORString& path) {
    const std::string name = path.GetUTF8String();
    struct stat status {};
    if (name.empty() || ::stat(name.c_str(), &status) != 0) {
        KOR_LOG(KOR_LOG_ERROR,
                "Error opening file %s. Check if file does exists in current directory",
                name.c_str());
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        LogNotRegular(name, status.st_mode);
        return false;
    }
    if (status.st_size == 0) {
        KOR_LOG(KOR_LOG_ERROR, "Input file (%s) is empty.", name.c_str());
        return false;
    }
    return true;
}

KORHandles::Descriptor KOROpenInputFile(const std::string& path) {
    struct stat found {};
    if (::stat(path.c_str(), &found) != 0) {
        LogCannotOpen(path, errno);
        return KORHandles::Descriptor();
    }
    if (!S_ISREG(found.st_mode)) {
        LogNotRegular(path, found.st_mode);
        return KORHandles::Descriptor();
    }
    KORHandles::Descriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!file) {
        LogCannotOpen(path, errno);
        return file;
    }
    struct stat opened {};
    if (::fstat(file.get(), &opened) != 0 || !S_ISREG(opened.st_mode)) {
        LogNotRegular(path, opened.st_mode);
        return KORHandles::Descriptor();
    }
    return file;
}

std::optional<std::string> KORReadInputFile(const std::string& path, std::size_t maxBytes) {
    const KORHandles::Descriptor file = KOROpenInputFile(path);
    if (!file) {
        return std::nullopt;
    }
    std::string text;
    char chunk[64 * 1024];
    for (;;) {
        const ssize_t count = ::read(file.get(), chunk, sizeof chunk);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            KOR_LOG(KOR_LOG_ERROR, "Cannot read input file (%s): %s.", path.c_str(),
                    std::strerror(errno));
            return std::nullopt;
        }
        if (count == 0) {
            return text;
        }
        if (text.size() + static_cast<std::size_t>(count) > maxBytes) {
            KOR_LOG(KOR_LOG_ERROR, "Input file (%s) is larger than %zu bytes.", path.c_str(),
                    maxBytes);
            return std::nullopt;
        }
        text.append(chunk, static_cast<std::size_t>(count));
    }
}
