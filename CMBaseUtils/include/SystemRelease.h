#pragma once
// Facts about the running system that decide how the library treats it: the
// kernel's name and the release files of the distributions.

#include <string>

namespace SystemRelease {

// True on a VMware ESXi host (kernel "VMkernel", in any case).
bool IsESXiKernel();
// True if the path names something that exists.
bool Exists(const std::string& path);
// Reads the first line of a file (at most 1023 characters, with its line
// feed); false if the file cannot be opened.
bool ReadFirstLine(const std::string& path, std::string& line);
// True if some line of the file contains the text (which holds no line feed).
// Reads the whole file in bounded pieces, however long its lines are.
bool FileContainsText(const std::string& path, const std::string& text);

}  // namespace SystemRelease
