#pragma once
// Putting files onto the update partition without a shell: paths are used
// byte for byte, so no character of a name means anything to a shell, and
// nothing counts as written before it has reached the disk. Failures come
// back as a text for the log.
//
// Names reach here exactly as the disk has them: the payload listing hands
// names over as the library's text, and the collection refuses every name
// that text would have changed (CPyalodContents::CollectUpdateContents).

#include <cstddef>
#include <string>
#include <vector>

#include "KORHandles.h"

namespace FirmwareFramework {

// A file created (or emptied) for writing, then flushed to the disk.
class FlushedFile {
public:
    // False when the file cannot be created.
    bool Open(const std::string& path, std::string& failure);
    // All `size` bytes, or false (a full disk, an I/O error).
    bool Write(const char* data, std::size_t size, std::string& failure);
    // Flushes the file to the disk and closes it; false when either fails.
    bool Finish(std::string& failure);

private:
    std::string m_strPath;
    KORHandles::Descriptor m_descriptor;
};

// Creates the directory and any missing parents; an existing directory is fine.
bool MakeDirectoryPath(const std::string& path, std::string& failure);

// Copies a regular file through `buffer` (not empty) and flushes the copy.
bool CopyFileFlushed(const std::string& source, const std::string& destination,
                     std::vector<char>& buffer, std::string& failure);

}  // namespace FirmwareFramework
