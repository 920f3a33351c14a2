#include "KORIPMISessionHandler.h"

#include <pthread.h>

#include "KORLogger.h"

std::atomic<KORIPMISessionHandler*> KORIPMISessionHandler::mIPMISessionHandlerInstance{nullptr};

KORIPMISessionHandler::KORIPMISessionHandler() : m_applicationDefaultConfiguration() {
    m_applicationDefaultConfiguration.uiPollInterval = 60;
    m_applicationDefaultConfiguration.uiPollCount = 5;
    m_applicationDefaultConfiguration.uiRetryCount = 5;
    m_applicationDefaultConfiguration.uiRetryInterval = 50;
    m_applicationDefaultConfiguration.uiPollingByte = 0;
    m_applicationDefaultConfiguration.ucPollingStatus = 0;
}

KORIPMISessionHandler::~KORIPMISessionHandler() {
    Cleanup();
}

KORIPMISessionHandler* KORIPMISessionHandler::GetInstance() {
    KORIPMISessionHandler* instance = mIPMISessionHandlerInstance.load();
    if (instance != nullptr) {
        return instance;
    }
    KORLockGuard guard(*GetLockObject());
    instance = mIPMISessionHandlerInstance.load();
    if (instance == nullptr) {
        instance = new KORIPMISessionHandler();
        mIPMISessionHandlerInstance.store(instance);
    }
    return instance;
}

void KORIPMISessionHandler::DestroyInstance() {
    KORLockGuard guard(*GetLockObject());
    delete mIPMISessionHandlerInstance.exchange(nullptr);
}

KORLock* KORIPMISessionHandler::GetLockObject() {
    // Created once, also when two threads ask first at the same time; never
    // destroyed, so that it outlives every caller.
    return &KORProcessLock<KORIPMISessionHandler>();
}

uint64_t KORIPMISessionHandler::GetSessionID() {
    return static_cast<uint64_t>(pthread_self());
}

KORIPMISession* KORIPMISessionHandler::GetSession() {
    const uint64_t sessionId = GetSessionID();
    KORLockGuard guard(*GetLockObject());
    auto found = m_sessions.find(sessionId);
    if (found != m_sessions.end()) {
        return found->second.get();
    }
    KOR_LOG(KOR_LOG_INFO, "Creating session object for session ID = %lu",
            static_cast<unsigned long>(sessionId));
    auto created = m_sessions.emplace(sessionId, std::make_unique<KORIPMISession>());
    return created.first->second.get();
}

bool KORIPMISessionHandler::ReleaseSession() {
    const uint64_t sessionId = GetSessionID();
    KORLockGuard guard(*GetLockObject());
    auto found = m_sessions.find(sessionId);
    if (found != m_sessions.end()) {
        found->second->Release();
        m_sessions.erase(found);
    }
    return true;
}

bool KORIPMISessionHandler::Cleanup() {
    m_sessions.clear();
    return true;
}

void KORIPMISessionHandler::SetApplicationDefaultConfiguration(
    const _KORIPMIConfiguration* configuration) {
    if (configuration != nullptr) {
        KORLockGuard guard(*GetLockObject());
        m_applicationDefaultConfiguration = *configuration;
    }
}

_KORIPMIConfiguration KORIPMISessionHandler::CopyOfApplicationDefaultConfiguration() {
    KORLockGuard guard(*GetLockObject());
    return m_applicationDefaultConfiguration;
}

_KORIPMIConfiguration* KORIPMISessionHandler::GetApplicationDefaultConfiguration() {
    return &m_applicationDefaultConfiguration;
}
