#pragma once
// The machine-wide update lock, shared with the host program: an update holds
// an exclusive flock on this file for as long as it runs, with its process id
// written into the file, so that a second update (another process, or another
// thread of the same one) is refused instead of tearing down the first one's
// partition, mount and session. The kernel drops the lock of a killed process,
// so a killed update never blocks the next one.

namespace UpdateLock {

// Where the lock lives; the second path on a system without /run.
constexpr const char* kPath = "/run/vaduzivorirezoz.lock";
constexpr const char* kPathWithoutRun = "/var/run/vaduzivorirezoz.lock";
constexpr const char* kRunDirectory = "/run";

}  // namespace UpdateLock
