#pragma once
// Shared helpers of the transport's tests: request blocks and counting what
// the simulated machine saw.

#include <cstdint>
#include <string>
#include <vector>

#include "KORIPMICommandData.h"

namespace ipmitest {

// Request bytes of catalogue commands the controller model recognises.
extern const std::vector<uint8_t> kOrinStatus;

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
