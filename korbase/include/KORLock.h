#pragma once
// A plain, non-recursive mutex, and a guard that holds it for a scope.

#include <pthread.h>

#include <new>

class KORLock {
public:
    KORLock();
    ~KORLock();
    KORLock(const KORLock&) = delete;
    KORLock& operator=(const KORLock&) = delete;
    bool Lock();
    bool Unlock();

private:
    pthread_mutex_t m_mutex;
};

class KORLockGuard {
public:
    explicit KORLockGuard(KORLock& lock) : m_lock(lock) { m_lock.Lock(); }
    ~KORLockGuard() { m_lock.Unlock(); }
    KORLockGuard(const KORLockGuard&) = delete;
    KORLockGuard& operator=(const KORLockGuard&) = delete;

private:
    KORLock& m_lock;
};

// A process-wide lock that is never destroyed, so that no static destructor
// at exit can find it gone. It lives in the library's own static storage, not
// on the heap, so a host that unloads the library leaks nothing. Each Owner
// type names one lock.
template <typename Owner>
KORLock& KORProcessLock() {
    alignas(KORLock) static unsigned char storage[sizeof(KORLock)];
    static KORLock* lock = new (storage) KORLock();
    return *lock;
}
