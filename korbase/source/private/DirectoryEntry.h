#pragma once
// What a directory listing needs to know about one of its entries.

#include <string>

namespace KORDirectoryEntry {

// Whether the entry is a directory: the type readdir reported, or, on a file
// system that reports none (DT_UNKNOWN), what lstat says of its path. A link
// is never a directory here, as readdir would report it.
bool IsDirectory(unsigned char reportedType, const std::string& path);

}  // namespace KORDirectoryEntry
