#pragma once
// A plain, non-recursive mutex, and a guard that holds it for a scope.

#include <pthread.h>

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
