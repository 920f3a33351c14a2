#include "SourcePathShortener.h"

namespace Exception {

namespace {

const char* const kLayerFolders[] = {"korbase", "koripmi", "CMBaseUtils", "OstrelLib", "library"};

}  // namespace

std::string ShortenSourcePath(const std::string& path) {
    std::string::size_type cut = std::string::npos;
    for (const char* folder : kLayerFolders) {
        const std::string marker = std::string("/") + folder + "/";
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
