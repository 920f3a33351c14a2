#include "SourcePathShortener.h"

#include <sstream>
#include <vector>

namespace Exception {

namespace {

// The build hands over the tree's library folders, separated by blanks.
const std::vector<std::string>& LayerFolders() {
    static const std::vector<std::string> folders = [] {
        std::vector<std::string> names;
        std::istringstream list(KOR_LIBRARY_FOLDERS);
        for (std::string name; list >> name;) {
            names.push_back(name);
        }
        return names;
    }();
    return folders;
}

}  // namespace

std::string ShortenSourcePath(const std::string& path) {
    std::string::size_type cut = std::string::npos;
    for (const std::string& folder : LayerFolders()) {
        const std::string marker = "/" + folder + "/";
        // A path relative to the tree's root starts with the folder itself.
        if (path.compare(0, marker.size() - 1, marker, 1, std::string::npos) == 0)
            return path;
        const std::string::size_type found = path.find(marker);
        if (found != std::string::npos && (cut == std::string::npos || found < cut))
            cut = found;
    }
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace Exception
