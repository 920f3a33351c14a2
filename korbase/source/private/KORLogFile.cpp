#include "KORLogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "KORFileType.h"
#include "KORHandles.h"

namespace {

const char kDebugMarker[] = "vekdebuglog";

void ReportNotRegular(const std::string& path, unsigned int mode) {
    std::fprintf(stderr, "%s is %s, not a regular file: no log is written there\n", path.c_str(),
                 KORFileTypeName(mode).c_str());
}

}  // namespace

bool KORDebugMarkerPresent() {
    struct stat status {};
    return ::stat(kDebugMarker, &status) == 0 &&
           (S_ISREG(status.st_mode) || S_ISDIR(status.st_mode));
}

FILE* KOROpenLogFile(const std::string& path, bool append) {
    // Non-blocking: opening a FIFO for writing would wait for a reader. Now
    // it fails at once without one, and the check below refuses it with one.
    const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY |
                      (append ? O_APPEND : O_TRUNC);
    KORHandles::Descriptor file(::open(path.c_str(), flags, 0644));
    struct stat status {};
    if (!file) {
        // A link (refused by O_NOFOLLOW) or a FIFO without reader, for example.
        if (::lstat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
            ReportNotRegular(path, status.st_mode);
        }
        return nullptr;
    }
    if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        ReportNotRegular(path, status.st_mode);
        return nullptr;
    }
    FILE* stream = ::fdopen(file.get(), append ? "a" : "w");
    if (stream != nullptr) {
        file.release();
    }
    return stream;
}
