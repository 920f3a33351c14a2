#pragma once
// The check the readers of the package's files make before they open one.

#include "KORString.h"

// True when the file exists and is not empty; otherwise logs why at ERROR
// and returns false.
bool KORInputFileReadable(const KORString& path);
