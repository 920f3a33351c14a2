#pragma once
// The machine-wide update lock (UpdateLock.h) as one update holds it: taken
// once, without waiting, before the update loads, installs or sends
// anything, and given back after its clean-up. The holder writes its process
// id into the file, for a refused update's log line and for the host's
// --status. The kernel drops the lock with the holder's last descriptor, so
// a killed update never blocks the next one.
//
//     UpdateLockHolder lock;
//     if (lock.TryTake() != UpdateLockHolder::Attempt::Taken)
//         ...  // refused: lock.RefusalDetail() says why
//     ...      // the update and its clean-up
//     lock.Release();

#include <string>

#include "KORHandles.h"

class UpdateLockHolder {
public:
    enum class Attempt { Taken, HeldByAnother, Unusable };

    Attempt TryTake();
    bool IsHeld() const;
    // After a refusal: the process id the holder wrote ("unknown" when it has
    // written none yet), or why the lock file cannot be used.
    const std::string& RefusalDetail() const;
    // The lock file tried last.
    const std::string& Path() const;
    // Gives the lock back; nothing happens when it is not held.
    void Release();

private:
    KORHandles::Descriptor m_file;
    std::string m_path;
    std::string m_refusalDetail;
};
