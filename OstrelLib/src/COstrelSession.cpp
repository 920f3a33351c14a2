#include "COstrelSession.h"

#include <exception>

#include "CIPMICommandManagement.h"
#include "CPlatformLayer.h"
#include "KORLogger.h"
#include "VEKErrorCodes.h"
#include "VEKErrorReporting.h"

namespace SessionFramework {

namespace {

const char* const kBeginCommand = "BeginOstrelSessionExtend";
const char* const kEndCommand = "EndOstrelSession";

constexpr int kSessionValuePosition = 4;
constexpr int kSessionValueLength = 2;
constexpr int kMaxBeginAttempts = 10;
constexpr int kBeginPauseSeconds = 2;

}  // namespace

COstrelSession* COstrelSession::m_pOstrelSession = nullptr;

COstrelSession* COstrelSession::GetOstrelSession(IPMIFramework::CIPMICommandManagement* catalogue) {
    VEK_TRY {
        if (m_pOstrelSession == nullptr)
            m_pOstrelSession = new COstrelSession(catalogue);
        return m_pOstrelSession;
    }
    VEK_PASS_ON;
}

COstrelSession::COstrelSession(IPMIFramework::CIPMICommandManagement* catalogue)
    : m_pIPMICommandManagement(catalogue), m_bIsSessionActive(false), m_uiSessionValue(0) {
    VEK_TRY {
        KOR_LOG(KOR_LOG_DEBUG, "COstrelSession::COstrelSession() Entering.");
        BeginOstrelSession();
        KOR_LOG(KOR_LOG_DEBUG, "COstrelSession::COstrelSession() Leaving.");
    }
    VEK_PASS_ON;
}

COstrelSession::~COstrelSession() {
    KOR_LOG(KOR_LOG_DEBUG, "COstrelSession::~COstrelSession() Entering.");
    if (m_bIsSessionActive) {
        // A destructor must not throw: a transfer failure is logged and the
        // object goes anyway; the controller drops the session by its timeout.
        try {
            EndOstrelSession();
        } catch (const std::exception& error) {
            KOR_LOG(KOR_LOG_ERROR, "Ending ostrel session with value as %u failed: %s",
                    m_uiSessionValue, error.what());
        } catch (...) {
            KOR_LOG(KOR_LOG_ERROR, "Ending ostrel session with value as %u failed.",
                    m_uiSessionValue);
        }
    }
    m_pIPMICommandManagement = nullptr;
    m_bIsSessionActive = false;
    if (m_pOstrelSession == this)
        m_pOstrelSession = nullptr;
    KOR_LOG(KOR_LOG_DEBUG, "COstrelSession::~COstrelSession() Leaving.");
}

void COstrelSession::BeginOstrelSession() {
    VEK_TRY {
        for (int attempts = 0; attempts < kMaxBeginAttempts;) {
            if (m_pIPMICommandManagement->ProcessIPMICommandReading(
                    kBeginCommand, kSessionValuePosition, kSessionValueLength) == 0) {
                // Whatever value came back, it is not asked for again.
                m_uiSessionValue = m_pIPMICommandManagement->GetIPMIResponse(
                    kBeginCommand, kSessionValuePosition, kSessionValueLength);
                break;
            }
            CPlatformLayer::Sleep(kBeginPauseSeconds);
            ++attempts;
            KOR_LOG(KOR_LOG_INFO, "%s command is executed unsuccessful. Retrying Count : %d",
                    kBeginCommand, attempts);
        }
        if (m_uiSessionValue != 0) {
            m_bIsSessionActive = true;
            KOR_LOG(KOR_LOG_INFO, "Successfully created ostrel session with value as %u",
                    m_uiSessionValue);
            return;
        }
        KOR_LOG(KOR_LOG_ERROR, "No ostrel session could be created.");
        VEK_RAISE(VEKErrorCode::kSessionNotGranted);
    }
    VEK_PASS_ON;
}

void COstrelSession::EndOstrelSession() {
    VEK_TRY {
        if (m_pIPMICommandManagement->ProcessIPMICommand(kEndCommand) != 0)
            KOR_LOG(KOR_LOG_ERROR,
                    "Unknow error occurred releaseing ostrel session for value as %u.",
                    m_uiSessionValue);
        m_bIsSessionActive = false;
        KOR_LOG(KOR_LOG_INFO, "Successfully ended ostrel session with value as %u",
                m_uiSessionValue);
    }
    VEK_PASS_ON;
}

}  // namespace SessionFramework
