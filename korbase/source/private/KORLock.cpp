#include "KORLock.h"

KORLock::KORLock() {
    pthread_mutex_init(&m_mutex, nullptr);
}

KORLock::~KORLock() {
    pthread_mutex_destroy(&m_mutex);
}

bool KORLock::Lock() {
    pthread_mutex_lock(&m_mutex);
    return true;
}

bool KORLock::Unlock() {
    pthread_mutex_unlock(&m_mutex);
    return true;
}
