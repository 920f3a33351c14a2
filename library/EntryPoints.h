#pragma once
// The three functions the host resolves in the library.

#include <string>
#include <vector>

#include "IDeviceExecution.h"

#define KOR_LIBRARY_EXPORT __attribute__((visibility("default")))

// Switches logging on when a "vekdebuglog" file or directory exists in the
// working directory. Exported under its C++ name.
KOR_LIBRARY_EXPORT void InitializeKORLogger();

extern "C" {
// A new update object; the caller deletes it. Null when it cannot be created.
KOR_LIBRARY_EXPORT IDeviceExecution* GetDeviceExecutionUpdateMethod();
// Runs one named command of "ipmi_cmd.ini" and returns its completion code;
// only on 0 is response replaced by the command's response bytes. A
// catalogue that cannot be loaded reaches the caller as an exception.
KOR_LIBRARY_EXPORT unsigned int ProcessIPMICommandRequest(const std::string& commandName,
                                                          std::vector<unsigned char>& response);
}
