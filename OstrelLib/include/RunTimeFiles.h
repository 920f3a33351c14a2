#pragma once
// The files an update keeps in the system's run-time directory, which only
// root may write and which a reboot empties: /run, or /var/run on a system
// without /run.

#include <string>

namespace RunTimeFiles {

// Present while the HAL daemon is stopped by an update (on SUSE the udev
// rule install stops it and the end of the update starts it again): an
// update killed in between leaves it, and the next one then knows that the
// daemon it finds stopped is to be started again.
constexpr const char* kHalStoppedMarker = "/run/vaduzivorirezoz.haldaemon-stopped";
constexpr const char* kHalStoppedMarkerWithoutRun = "/var/run/vaduzivorirezoz.haldaemon-stopped";

// The update lock of UpdateLock.h.
std::string UpdateLockPath();
std::string HalStoppedMarkerPath();

}  // namespace RunTimeFiles
