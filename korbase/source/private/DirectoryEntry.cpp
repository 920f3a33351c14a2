#include "DirectoryEntry.h"

#include <dirent.h>
#include <sys/stat.h>

namespace KORDirectoryEntry {

bool IsDirectory(unsigned char reportedType, const std::string& path) {
    if (reportedType != DT_UNKNOWN) {
        return reportedType == DT_DIR;
    }
    struct stat status;
    return lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace KORDirectoryEntry
