#pragma once
// The process-wide registry of sessions, one per calling thread, keyed by the
// thread id. The handler owns the sessions.

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>

#include "KORIPMICommandData.h"
#include "KORIPMISession.h"
#include "KORLock.h"

class KORIPMISessionHandler {
public:
    static KORIPMISessionHandler* GetInstance();
    static void DestroyInstance();
    static KORLock* GetLockObject();
    static uint64_t GetSessionID();

    // The calling thread's session, created uninitialized on first use.
    KORIPMISession* GetSession();
    // Releases and deletes the calling thread's session, if it has one; always true.
    bool ReleaseSession();
    // Deletes every registered session; always true. Only the last front of
    // the process runs it, when no thread can still be using a session.
    bool Cleanup();

    // Fronts of other threads may set the defaults while a session reads them,
    // so both go through the lock; sessions take a copy.
    void SetApplicationDefaultConfiguration(const _KORIPMIConfiguration* configuration);
    _KORIPMIConfiguration CopyOfApplicationDefaultConfiguration();
    _KORIPMIConfiguration* GetApplicationDefaultConfiguration();

private:
    KORIPMISessionHandler();
    ~KORIPMISessionHandler();
    KORIPMISessionHandler(const KORIPMISessionHandler&) = delete;
    KORIPMISessionHandler& operator=(const KORIPMISessionHandler&) = delete;

    std::map<uint64_t, std::unique_ptr<KORIPMISession>> m_sessions;
    _KORIPMIConfiguration m_applicationDefaultConfiguration;

    // Read without the lock first, so it is atomic.
    static std::atomic<KORIPMISessionHandler*> mIPMISessionHandlerInstance;
};
