#pragma once
// What a directory entry is, in the words the library's log lines use.

#include <string>

// "a regular file", "a directory", "a symbolic link", "a FIFO", "a socket",
// "a character device", "a block device", or "an entry of unknown type", for
// the file type bits of a stat mode.
std::string KORFileTypeName(unsigned int mode);
