#pragma once
// The debug logs the library writes into the working directory when asked
// to: the marker that asks for them, and how a log file is opened. The
// working directory is the package's, where someone else may have put a
// FIFO, a device or a link in a log's place: a log is written only into a
// regular file of its own name, never through a link, and opening it never
// waits.

#include <cstdio>
#include <string>

// True when "vekdebuglog" in the working directory is a regular file or a
// directory (links followed); anything else counts as absent.
bool KORDebugMarkerPresent();

// The log opened for writing, appended to when `append`, else emptied;
// created when missing. Null when it cannot be opened, and then, when what
// stands there is no regular file (or is a link), after a line on standard
// error that says so: a log cannot report its own failure.
FILE* KOROpenLogFile(const std::string& path, bool append);
