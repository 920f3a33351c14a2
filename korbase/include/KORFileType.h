#pragma once
// What a directory entry is, in the words the library's log lines use.

#include <optional>
#include <string>

// "a regular file", "a directory", "a symbolic link", "a FIFO", "a socket",
// "a character device", "a block device", or "an entry of unknown type", for
// the file type bits of a stat mode.
std::string KORFileTypeName(unsigned int mode);

// What stands at `path` once links are followed, found without opening it,
// when that is no regular file (a FIFO, a device, a directory...); nothing
// when it is a regular file or when nothing is there.
std::optional<std::string> KORIrregularFileAt(const std::string& path);
