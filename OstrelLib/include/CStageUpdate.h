#pragma once
// The update object the library hands to the host: the staged update of
// COstrelSecureUpdate with the stage command of the controller's security
// method and nothing to do after the partition is gone.

#include "COstrelSecureUpdate.h"

namespace SecureUpdateFramework {

class CStageUpdate : public COstrelSecureUpdate {
public:
    // Contacts nothing.
    CStageUpdate();
    ~CStageUpdate() override;

    // Sends "SecureStageUpdateSHA" or "SecureStageUpdateGPG", up to 10 times
    // without pause until the controller accepts it; a pending answer (status
    // 2) is followed by the status poll. Code 66 when it is refused 10 times.
    void Execute() override;
    void ExecutePostUpdate() override;
};

}  // namespace SecureUpdateFramework
