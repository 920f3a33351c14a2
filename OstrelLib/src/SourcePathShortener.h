#pragma once
// Source positions in exception texts read from the top folder of the source
// tree ("OstrelLib/src/CVEKErrorInfo.cpp"), whatever directory the tree was
// built in.

#include <string>

namespace Exception {

// Cuts the path at the earliest "/<layer>/" of the tree's layer folders; a
// path that names none of them is returned whole.
std::string ShortenSourcePath(const std::string& path);

}  // namespace Exception
