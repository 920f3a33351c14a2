#include "CStageUpdate.h"

#include "CIPMICommandManagement.h"
#include "KORLogger.h"
#include "StageStatus.h"
#include "VEKErrorCodes.h"
#include "VEKErrorReporting.h"

namespace SecureUpdateFramework {

namespace {

// A refused stage command is sent again at once, without a pause.
constexpr int kStageCommandAttempts = 10;

const char* StageCommandFor(DIGEST_TYPE method) {
    return method == DIGEST_TYPE_GPG ? "SecureStageUpdateGPG" : "SecureStageUpdateSHA";
}

}  // namespace

CStageUpdate::CStageUpdate() {
    KOR_LOG(KOR_LOG_DEBUG, "CStageUpdate::CStageUpdate() Entering");
    KOR_LOG(KOR_LOG_DEBUG, "CStageUpdate::CStageUpdate() Leaving");
}

CStageUpdate::~CStageUpdate() {
    KOR_LOG(KOR_LOG_DEBUG, "CStageUpdate::~CStageUpdate() Entering");
    KOR_LOG(KOR_LOG_DEBUG, "CStageUpdate::~CStageUpdate() Leaving");
}

void CStageUpdate::Execute() {
    VEK_TRY {
        KOR_LOG(KOR_LOG_DEBUG, "CStageUpdate::Execute() Entering");
        const char* command = StageCommandFor(m_eDigestType);
        unsigned char completionCode = 0;
        for (int attempt = 0; attempt < kStageCommandAttempts; ++attempt) {
            completionCode =
                m_pIPMICommandManagement->ProcessIPMICommandReading(command, kStageStatusPosition);
            if (completionCode == 0)
                break;
        }
        const unsigned int status =
            m_pIPMICommandManagement->GetIPMIResponse(command, kStageStatusPosition, 1);
        KOR_LOG(KOR_LOG_DEBUG,
                "CStageUpdate::Execute(): Got response of stage update command as 0x%02x and "
                "completion code 0x%02x",
                status, completionCode);
        if (completionCode != 0) {
            KOR_LOG(KOR_LOG_ERROR,
                    "Error occurred during stage update: Request Not Accepted and Stage Only "
                    "Failed.");
            VEK_RAISE(VEKErrorCode::kStageNotAccepted);
        }
        if (status == kStageStatusPending)
            PollStatusExecution();
        KOR_LOG(KOR_LOG_DEBUG, "CStageUpdate::Execute() Leaving");
    }
    VEK_PASS_ON;
}

void CStageUpdate::ExecutePostUpdate() {
    KOR_LOG(KOR_LOG_DEBUG, "CStageUpdate::ExecutePostUpdate() Entering");
    KOR_LOG(KOR_LOG_DEBUG, "CStageUpdate::ExecutePostUpdate() Leaving");
}

}  // namespace SecureUpdateFramework
