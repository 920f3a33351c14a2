#include "StageStatus.h"

#include "KORLogger.h"
#include "VEKErrorCodes.h"

namespace SecureUpdateFramework {

namespace {

struct StageStatusEntry {
    unsigned int status;
    StageStatusMeaning meaning;
};

const StageStatusEntry kStageStatuses[] = {
    {0, {" Polling Success", KOR_LOG_DEBUG, StageOutcome::Finished, kKeepCurrentCode}},
    {1,
     {"Error occurred during stage update:  Polling Failed", KOR_LOG_ERROR, StageOutcome::Failed,
      kKeepCurrentCode}},
    {kStageStatusPending,
     {"Pending Staging/Update in Progress", KOR_LOG_DEBUG, StageOutcome::PollAgain,
      kKeepCurrentCode}},
    {3,
     {"Success Update Staged and Reboot Required", KOR_LOG_DEBUG, StageOutcome::Finished,
      kKeepCurrentCode}},
    {4,
     {"Success Update Applied or Update Staged: Reboot not Required", KOR_LOG_DEBUG,
      StageOutcome::Finished, kKeepCurrentCode}},
    {5,
     {"Error occurred during stage update: Device or Action not supported", KOR_LOG_ERROR,
      StageOutcome::Failed, VEKErrorCode::kNotSupported}},
    {6,
     {"Error occurred during stage update: Quilla firmware Update Required", KOR_LOG_ERROR,
      StageOutcome::Failed, VEKErrorCode::kControllerFirmwareTooOld}},
    {7,
     {"Error occurred during stage update: Orin is Disabled", KOR_LOG_ERROR, StageOutcome::Failed,
      VEKErrorCode::kOrinDisabled}},
    {38,
     {"SHA256 Checksum match Failed", KOR_LOG_ERROR, StageOutcome::Failed,
      VEKErrorCode::kStageNotAccepted}},
};

const StageStatusMeaning kUnknownStageStatus = {"Unknow return code and continue to poll again",
                                                KOR_LOG_ERROR, StageOutcome::PollAgain,
                                                kKeepCurrentCode};

}  // namespace

const StageStatusMeaning& MeaningOfStageStatus(unsigned int status) {
    for (const StageStatusEntry& entry : kStageStatuses) {
        if (entry.status == status)
            return entry.meaning;
    }
    return kUnknownStageStatus;
}

}  // namespace SecureUpdateFramework
