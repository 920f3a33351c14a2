#pragma once
// Shared helpers of the transport's tests: scratch directories, request
// blocks, log capture and counting what the simulated machine saw.

#include <cstdint>
#include <string>
#include <vector>

#include "KORIPMICommandData.h"

namespace ipmitest {

// Request bytes of catalogue commands the controller model recognises.
extern const std::vector<uint8_t> kOrinStatus;

// A fresh directory below /tmp, removed with everything in it.
class ScopedTempDirectory {
public:
    ScopedTempDirectory();
    ~ScopedTempDirectory();
    ScopedTempDirectory(const ScopedTempDirectory&) = delete;
    ScopedTempDirectory& operator=(const ScopedTempDirectory&) = delete;
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// Runs the test inside a fresh working directory, where the library looks for
// its settings file and the logging marker.
class ScopedWorkingDirectory {
public:
    ScopedWorkingDirectory();
    ~ScopedWorkingDirectory();
    ScopedWorkingDirectory(const ScopedWorkingDirectory&) = delete;
    ScopedWorkingDirectory& operator=(const ScopedWorkingDirectory&) = delete;
    const std::string& Path() const { return m_directory.Path(); }

private:
    ScopedTempDirectory m_directory;
    std::string m_previous;
};

// Switches the process-wide logger on into a scratch directory; Finish ends
// it and returns the internal log.
class LogCapture {
public:
    LogCapture();
    std::string Finish();

private:
    ScopedTempDirectory m_directory;
};

size_t CountOccurrences(const std::string& text, const std::string& needle);
void WriteTextFile(const std::string& path, const std::string& text);

// A zero-filled block holding the request, with the configuration attached.
_KORIPMICommandData MakeBlock(const std::vector<uint8_t>& request,
                              _KORIPMIConfiguration* configuration);
_KORIPMIConfiguration MakeConfiguration(unsigned int retryCount, unsigned int retryInterval);

// How many opens of an IPMI device node succeeded (or failed).
size_t CountOpens(bool succeeded = true);
// How many sleeps of exactly this length the machine recorded.
size_t CountSleeps(uint64_t milliseconds);
// The process-wide settings file forgets what it loaded and takes its usual name.
void ResetSettingsFile();

}  // namespace ipmitest
