#pragma once
// One complete staged update of the component the host package describes:
// read the descriptor, check the machine and the controller, open the update
// session, carry the payload to the controller on a temporary partition, have
// it staged and report the outcome in the device records. No failure of the
// update leaves Update() as an exception; the records carry its error code.
//
// Derived classes supply the two steps that talk to the controller about the
// staging itself (Execute, ExecutePostUpdate).
//
// One update per machine: an update that finds another one holding the
// machine's update lock (another process, or another thread of this one)
// records code 63 and returns, leaving alone everything that update uses.

#include <string>
#include <vector>

#include "CDeviceInfo.h"
#include "DigestType.h"
#include "IDeviceExecution.h"
#include "UpdateLockHolder.h"

namespace IPMIFramework {
class CIPMICommandManagement;
}
namespace ErrorFramework {
class CVEKErrorInfo;
}
namespace SessionFramework {
class COstrelSession;
}
namespace PartitionFramework {
class COstrelPartitionManagement;
}
namespace FirmwareFramework {
class CPyalodContents;
}

namespace SecureUpdateFramework {

class COstrelSecureUpdate : public IDeviceExecution {
public:
    COstrelSecureUpdate();
    // Releases what an update left (see Uninitialize) and the vector of
    // records, never the records themselves: the host owns those.
    ~COstrelSecureUpdate() override;
    COstrelSecureUpdate(const COstrelSecureUpdate&) = delete;
    COstrelSecureUpdate& operator=(const COstrelSecureUpdate&) = delete;

    // The staged update; returns a copy of the record vector.
    std::vector<CDeviceInfo*> Update() override;
    // Sends the stage command; polls when the controller takes it as pending.
    virtual void Execute() = 0;
    // Runs after the partition has been deleted.
    virtual void ExecutePostUpdate() = 0;
    // Polls the stage status until the controller reports staged or applied;
    // throws on a failure status and after 3000 polls 5 seconds apart.
    virtual void PollStatusExecution();

    // Builds the device record from "package.xml".
    void SetBasicDeviceInfo();
    // Creates the catalogues, checks the machine, opens the session, creates
    // the partition manager and the payload object.
    void Initialize();
    // Platform, USB arbitrator, udev rules, staging storage, access, Orin.
    void CheckSystemEnvionment();
    // Copies the current error code and its message into every record.
    void PopulateDeviceInfoDetails();
    // Releases everything in a fixed order; never throws, safe to repeat.
    // What the machine and the process share (the udev rules, the USB storage
    // module, the logger) is put back only while this update holds the update
    // lock, which is given back last.
    void Uninitialize();

protected:
    IPMIFramework::CIPMICommandManagement* m_pIPMICommandManagement;
    ErrorFramework::CVEKErrorInfo* m_pVEKErrorInfo;
    std::vector<CDeviceInfo*> m_vecDeviceInfo;
    DIGEST_TYPE m_eDigestType;
    SessionFramework::COstrelSession* m_pOstrelSession;
    PartitionFramework::COstrelPartitionManagement* m_pPartitionManagement;
    FirmwareFramework::CPyalodContents* m_pPayloadContents;

private:
    // Steps 2 to 13 of Update(); throws whatever a step throws.
    void RunStagedUpdate();
    // False when the update may not run: then the records say why.
    bool TakeUpdateLock();
    void FillRecords(int code, const std::string& message);

    UpdateLockHolder m_updateLock;
};

}  // namespace SecureUpdateFramework
