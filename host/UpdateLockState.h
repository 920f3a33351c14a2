#pragma once
// Whether an update runs on this machine now: an update holds an exclusive
// flock on the machine's lock file while it runs, with its process id written
// into the file.

#include <optional>
#include <string>

struct UpdateLockState {
    std::string path;  // the lock file of this machine
    bool held = false;
    std::optional<long long> holder;  // the process id of the update holding it
};

// Read without ever taking the lock, not even for a moment: an update that
// starts meanwhile would find it taken and be refused. The kernel's list of
// locks (/proc/locks) is searched for the file's device and inode.
UpdateLockState ReadUpdateLock();
