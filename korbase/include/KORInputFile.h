#pragma once
// How the library opens the files of the package it reads ("ipmi_cmd.ini",
// "ErrorCodes.xml", "KORIPMIConfig.xml", "package.xml"). Whoever can write the
// package directory could put a FIFO, a socket, a device or a link to one in
// a file's place. Such a file is refused, found so without opening it (the
// open of a FIFO waits for a writer, that of a device may act on it); a
// regular file is opened without blocking and read only when the opened file
// is regular too, so that nothing swapped in between hangs the update either.

#include <cstddef>
#include <optional>
#include <string>

#include "KORHandles.h"
#include "KORString.h"

// True when the file exists, is a regular file (links followed) and is not
// empty; otherwise logs why at ERROR and returns false.
bool KORInputFileReadable(const KORString& path);

// The file opened for reading, or an invalid descriptor (logged at ERROR)
// when it is missing, is no regular file or cannot be opened.
KORHandles::Descriptor KOROpenInputFile(const std::string& path);

// The whole file when it is a regular file of at most maxBytes; otherwise
// nothing, logged at ERROR.
std::optional<std::string> KORReadInputFile(const std::string& path, std::size_t maxBytes);
