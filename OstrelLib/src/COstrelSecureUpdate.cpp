#include "COstrelSecureUpdate.h"

#include <memory>
#include <new>
#include <string>

#include "CIPMICommandManagement.h"
#include "CLinuxUtils.h"
#include "COstrelPartitionManagement.h"
#include "COstrelSession.h"
#include "COstrelUtils.h"
#include "CPayloadCapabilityFactory.h"
#include "CPlatformLayer.h"
#include "CPyalodContents.h"
#include "CSoftwareComponentInfo.h"
#include "CVEKErrorInfo.h"
#include "KORLogger.h"
#include "KORSystem.h"
#include "StageStatus.h"
#include "VEKErrorCodes.h"
#include "VEKErrorReporting.h"

namespace SecureUpdateFramework {

namespace {

using ErrorFramework::CVEKErrorInfo;
using Exception::RunCleanupStep;

constexpr int kMaxStatusPolls = 3000;
constexpr int kSecondsBetweenStatusPolls = 5;
const char* const kStatusPollCommand = "PollStatusStageUpdate";

const char* const kPayloadDirectoryName = "payload";
const char* const kPCIDeviceIDXPath = "//SoftwareComponent/SupportedDevices/Device/PCIInfo";

// The hypervisor's USB arbitrator claims every USB disk, the controller's
// partition included, so the update cannot run while it does.
const char* const kServiceConsoleArbitratorTest =
    "ps aux | grep -v grep | grep -q vmware-usbarbitrator > /dev/null";
const char* const kESXiArbitratorTest = "ps | grep -i -q vmware-usbarbitrator  > /dev/null";

const char* ArbitratorTestFor(int platform) {
    switch (platform) {
        case CLinuxUtils::PLATFORM_ESX3:
        case CLinuxUtils::PLATFORM_ESX4:
        case CLinuxUtils::PLATFORM_ESX41:
            return kServiceConsoleArbitratorTest;
        case CLinuxUtils::PLATFORM_ESXI:
            return kESXiArbitratorTest;
        default:
            return nullptr;
    }
}

// Runs steps of the update: whatever they throw ends them and is logged.
// False when they threw.
template <typename Steps>
bool RunCatchingEverything(Steps steps) {
    try {
        steps();
        return true;
    } catch (const Exception::CVEKException& error) {
        KOR_LOG(KOR_LOG_ERROR, "Error occurred during stage update - Caught VEKException (%s) ",
                error.what());
    } catch (const std::exception& error) {
        KOR_LOG(KOR_LOG_ERROR, "Error occurred during stage update - Caught Exception (%s) ",
                error.what());
    } catch (const std::string& text) {
        // The digest code throws plain text.
        KOR_LOG(KOR_LOG_ERROR, "Unknow error occurred during stage update. (%s)", text.c_str());
    } catch (const char* text) {
        KOR_LOG(KOR_LOG_ERROR, "Unknow error occurred during stage update. (%s)",
                text != nullptr ? text : "");
    } catch (...) {
        KOR_LOG(KOR_LOG_ERROR, "Unknow error occurred during stage update.");
    }
    return false;
}

}  // namespace

COstrelSecureUpdate::COstrelSecureUpdate()
    : m_pIPMICommandManagement(nullptr),
      m_pVEKErrorInfo(nullptr),
      m_eDigestType(DIGEST_TYPE_UNKNOWN),
      m_pOstrelSession(nullptr),
      m_pPartitionManagement(nullptr),
      m_pPayloadContents(nullptr) {
    KOR_LOG(KOR_LOG_DEBUG, "COstrelSecureUpdate::COstrelSecureUpdate() Entering.");
    KOR_LOG(KOR_LOG_DEBUG, "COstrelSecureUpdate::COstrelSecureUpdate() Leaving.");
}

COstrelSecureUpdate::~COstrelSecureUpdate() {
    KOR_LOG(KOR_LOG_DEBUG, "COstrelSecureUpdate::~COstrelSecureUpdate() Entering.");
    Uninitialize();
    KOR_LOG(KOR_LOG_DEBUG, "COstrelSecureUpdate::~COstrelSecureUpdate() Leaving.");
}

std::vector<CDeviceInfo*> COstrelSecureUpdate::Update() {
    KOR_LOG(KOR_LOG_DEBUG, "COstrelSecureUpdate::Update() Entering.");
    const bool described = RunCatchingEverything([this] { SetBasicDeviceInfo(); });
    bool locked = false;
    RunCatchingEverything([this, &locked] { locked = TakeUpdateLock(); });
    if (!locked) {
        // The update that holds the lock may run on another thread of this
        // process: its error catalogue, session, rules, module and logger
        // are all left alone.
        KOR_LOG(KOR_LOG_DEBUG, "COstrelSecureUpdate::Update() Leaving.");
        return m_vecDeviceInfo;
    }
    if (described)
        RunCatchingEverything([this] { RunStagedUpdate(); });
    RunCleanupStep("reporting the outcome", [this] { PopulateDeviceInfoDetails(); });
    // Logged before Uninitialize, which terminates the logger.
    KOR_LOG(KOR_LOG_DEBUG, "COstrelSecureUpdate::Update() Leaving.");
    Uninitialize();
    return m_vecDeviceInfo;
}

void COstrelSecureUpdate::RunStagedUpdate() {
    Initialize();
    m_pPartitionManagement->CleanupExistingDynamicPartitions();
    m_pPayloadContents->CollectUpdateContents();
    m_pPartitionManagement->CreateDynamicPartition(m_pPayloadContents->GetTotalSize());
    m_pPartitionManagement->AttachDynamicPartition();
    std::string location;
    m_pPartitionManagement->GetDynamicPartitionVolumeName(location);
    m_pPayloadContents->UploadUpdateContents(location);
    m_pPartitionManagement->DettachDynamicPartition();
    Execute();
    m_pPartitionManagement->DeleteDynamicPartition();
    ExecutePostUpdate();
    m_pVEKErrorInfo->m_nErrorCode = VEKErrorCode::kSuccess;
}

bool COstrelSecureUpdate::TakeUpdateLock() {
    const UpdateLockHolder::Attempt attempt = m_updateLock.TryTake();
    if (attempt == UpdateLockHolder::Attempt::Taken)
        return true;
    int code = VEKErrorCode::kUpdateInProgress;
    if (attempt == UpdateLockHolder::Attempt::HeldByAnother) {
        KOR_LOG(KOR_LOG_ERROR,
                "Another update is in progress on this machine (process id %s): this update is "
                "not started.",
                m_updateLock.RefusalDetail().c_str());
    } else if (!CLinuxUtils::IsRunningAsRoot()) {
        // Only root may take the lock. An update that is not root's goes on
        // without it, to be refused by the platform check (73) before it
        // loads, installs or sends anything.
        return true;
    } else {
        // Whether another update runs cannot be told: none is started.
        KOR_LOG(KOR_LOG_ERROR, "The update lock %s %s: this update is not started.",
                m_updateLock.Path().c_str(), m_updateLock.RefusalDetail().c_str());
        code = VEKErrorCode::kInternalFailure;
    }
    FillRecords(code, CVEKErrorInfo::ReadErrorMessage(code));
    return false;
}

void COstrelSecureUpdate::SetBasicDeviceInfo() {
    VEK_TRY {
        KOR_LOG(KOR_LOG_DEBUG, "COstrelSecureUpdate::SetBasicDeviceInfo() Entering.");
        CSoftwareComponentInfo descriptor;
        std::unique_ptr<CDeviceInfo> record(new (std::nothrow) CDeviceInfo());
        if (!record) {
            KOR_LOG(KOR_LOG_ERROR, "Error occurred while creating CDeviceInfo object.");
            VEK_RAISE(VEKErrorCode::kInternalFailure);
        }
        record->setDeviceName(descriptor.GetComponentDisplayString());
        record->setComponentType(descriptor.GetComponentTypeDisplayString());
        const bool hasPCIDevice = !descriptor.GetValue(kPCIDeviceIDXPath, "deviceID").empty();
        record->setDeviceType(hasPCIDevice ? DEVICE_TYPE_PCI : DEVICE_TYPE_NON_PCI);
        record->setComponentID(descriptor.GetComponentID());
        record->setVersion(descriptor.GetComponentVersion());
        std::string componentID = record->getComponentID();
        record->setDisplay(descriptor.getMarketingNameForNonPCIDevice(componentID));
        // Room first, so that handing the record over cannot fail halfway.
        m_vecDeviceInfo.reserve(m_vecDeviceInfo.size() + 1);
        m_vecDeviceInfo.push_back(record.release());
        KOR_LOG(KOR_LOG_DEBUG, "COstrelSecureUpdate::SetBasicDeviceInfo() Leaving.");
    }
    VEK_PASS_ON;
}

void COstrelSecureUpdate::Initialize() {
    VEK_TRY {
        KOR_LOG(KOR_LOG_DEBUG, "COstrelSecureUpdate::Initialize() Entering.");
        try {
            m_pVEKErrorInfo = CVEKErrorInfo::GetVEKErrorInfo();
        } catch (const Exception::CVEKException&) {
            KOR_LOG(KOR_LOG_ERROR,
                    "Error occurred while creating and initalizing CVEKErrorInfo object.");
            throw;
        }
        m_pVEKErrorInfo->m_nErrorCode = VEKErrorCode::kUnexpectedFailure;

        m_pIPMICommandManagement = new (std::nothrow) IPMIFramework::CIPMICommandManagement();
        if (m_pIPMICommandManagement == nullptr)
            VEK_RAISE(VEKErrorCode::kInternalFailure);

        CheckSystemEnvionment();

        m_pOstrelSession =
            SessionFramework::COstrelSession::GetOstrelSession(m_pIPMICommandManagement);
        if (m_pOstrelSession == nullptr)
            VEK_RAISE(VEKErrorCode::kInternalFailure);

        m_pPartitionManagement = new (std::nothrow)
            PartitionFramework::COstrelPartitionManagement(m_pIPMICommandManagement);
        if (m_pPartitionManagement == nullptr)
            VEK_RAISE(VEKErrorCode::kInternalFailure);

        m_pPayloadContents = PayloadFramework::CPayloadCapabilityFactory::GetPaylodCapabilityObject(
            m_pIPMICommandManagement, kPayloadDirectoryName, m_eDigestType);
        if (m_pPayloadContents == nullptr)
            VEK_RAISE(VEKErrorCode::kNoSecurityMethod);
        KOR_LOG(KOR_LOG_DEBUG, "COstrelSecureUpdate::Initialize() Leaving.");
    }
    VEK_PASS_ON;
}

void COstrelSecureUpdate::CheckSystemEnvionment() {
    VEK_TRY {
        using VEKOstrelCommon::COstrelUtils;
        KOR_LOG(KOR_LOG_DEBUG, "COstrelSecureUpdate::CheckSystemEnvionment() Entering.");
        const int platform = CLinuxUtils::GetLinuxOSPlatform();
        if (platform == CLinuxUtils::PLATFORM_NOT_ROOT) {
            KOR_LOG(KOR_LOG_DEBUG, "Unsupported OS.");
            VEK_RAISE(VEKErrorCode::kUnsupportedSystem);
        }
        if (const char* arbitratorTest = ArbitratorTestFor(platform)) {
            if (KORSystem::RunCommandLine(arbitratorTest).raw == 0) {
                KOR_LOG(KOR_LOG_ERROR,
                        "COstrelSecureUpdate::CheckSystemEnvionment() : usbarbitrator serice is "
                        "running.. stop it before running VEK");
                VEK_RAISE(VEKErrorCode::kUsbArbitratorRunning);
            }
        }
        CLinuxUtils::udevhalInstall();

        const VEKOstrelCommon::OSTREL_TYPE type =
            COstrelUtils::GetOstrelType(m_pIPMICommandManagement);
        if (type == VEKOstrelCommon::OSTREL_TYPE_NONE)
            VEK_RAISE(VEKErrorCode::kNoStagingStorage);
        KOR_LOG(KOR_LOG_INFO,
                "COstrelSecureUpdate::CheckSystemEnvionment() : Proceeding with Ostrel Type (%s).",
                VEKOstrelCommon::OSTREL_TYPE_INFO[type]);

        if (!COstrelUtils::CheckOstrelAccessEnabled(m_pIPMICommandManagement))
            VEK_RAISE(VEKErrorCode::kStagingAccessDisabled);
        KOR_LOG(KOR_LOG_INFO,
                "COstrelSecureUpdate::CheckSystemEnvionment() : Ostrel Access enabled for update.");

        if (!COstrelUtils::CheckOrinRunningStatus(m_pIPMICommandManagement))
            VEK_RAISE(VEKErrorCode::kOrinNotReady);
        KOR_LOG(KOR_LOG_INFO, "COstrelUtils::CheckOrinRunningStatus() : Orin is ready.");
        KOR_LOG(KOR_LOG_DEBUG, "COstrelSecureUpdate::CheckSystemEnvionment() Leaving.");
    }
    VEK_PASS_ON;
}

void COstrelSecureUpdate::PollStatusExecution() {
    VEK_TRY {
        KOR_LOG(KOR_LOG_DEBUG, "COstrelSecureUpdate::PollStatusStageUpdate() Entering.");
        unsigned int status = 0;
        for (int poll = 0; poll < kMaxStatusPolls; ++poll) {
            if (m_pIPMICommandManagement->ProcessIPMICommandReading(kStatusPollCommand,
                                                                    kStageStatusPosition) != 0)
                VEK_RAISE(VEKErrorCode::kInternalFailure);
            status = m_pIPMICommandManagement->GetIPMIResponse(kStatusPollCommand,
                                                               kStageStatusPosition, 1);
            const StageStatusMeaning& meaning = MeaningOfStageStatus(status);
            KOR_LOG(meaning.logLevel, "%s", meaning.logLine);
            if (meaning.outcome == StageOutcome::Finished) {
                KOR_LOG(KOR_LOG_DEBUG, "COstrelSecureUpdate::PollStatusStageUpdate() Leaving.");
                return;
            }
            if (meaning.outcome == StageOutcome::Failed) {
                if (meaning.errorCode != kKeepCurrentCode)
                    VEK_RAISE(meaning.errorCode);
                VEK_RAISE_CURRENT();
            }
            CPlatformLayer::Sleep(kSecondsBetweenStatusPolls);
        }
        // Still pending after the last poll: the controller never finished.
        if (status == kStageStatusPending)
            VEK_RAISE(VEKErrorCode::kStageNotAccepted);
        VEK_RAISE_CURRENT();
    }
    VEK_PASS_ON;
}

void COstrelSecureUpdate::PopulateDeviceInfoDetails() {
    KOR_LOG(KOR_LOG_DEBUG, "COstrelSecureUpdate::PopulateDeviceInfoDetails() Entering.");
    int code = VEKErrorCode::kUnexpectedFailure;
    std::string message;
    try {
        // Also when Initialize never ran: the codes went to the shared
        // instance, which Uninitialize then releases.
        if (m_pVEKErrorInfo == nullptr)
            m_pVEKErrorInfo = CVEKErrorInfo::GetVEKErrorInfo();
        code = m_pVEKErrorInfo->m_nErrorCode;
        message = m_pVEKErrorInfo->GetErrorMessage(CVEKErrorInfo::kCurrentErrorCode);
    } catch (const Exception::CVEKException& error) {
        // Without "ErrorCodes.xml" there is no code to report, and the
        // update cannot have succeeded: the records say failure.
        KOR_LOG(KOR_LOG_ERROR, "Error occurred while reading the error catalogue (%s) ",
                error.what());
    }
    FillRecords(code, message);
    KOR_LOG(KOR_LOG_DEBUG, "COstrelSecureUpdate::PopulateDeviceInfoDetails() Leaving.");
}

void COstrelSecureUpdate::FillRecords(int code, const std::string& message) {
    for (CDeviceInfo* record : m_vecDeviceInfo) {
        record->setStatus(code);
        record->setMessageID(code);
        record->setErrorMsg(message);
    }
}

void COstrelSecureUpdate::Uninitialize() {
    KOR_LOG(KOR_LOG_DEBUG, "COstrelSecureUpdate::Uninitialize() Entering.");
    // The owners below never throw from their destructors: a controller
    // that fails to answer there is logged at ERROR by them, and the steps
    // after it still run.
    delete m_pPayloadContents;
    m_pPayloadContents = nullptr;
    // Removes a partition still on the controller; it needs the session.
    delete m_pPartitionManagement;
    m_pPartitionManagement = nullptr;
    // Ends the session and clears the shared instance, so that a later
    // update in this process opens a session of its own.
    delete m_pOstrelSession;
    m_pOstrelSession = nullptr;
    delete m_pIPMICommandManagement;
    m_pIPMICommandManagement = nullptr;
    if (m_pVEKErrorInfo != nullptr) {
        CVEKErrorInfo::ReleaseVEKErrorInfo();
        m_pVEKErrorInfo = nullptr;
    }
    // Only the update holding the lock may put these back: without it (a
    // refused update, or the destructor once the update has ended) another
    // update may be using the rules, the module and the logger right now.
    const bool endsUpdate = m_updateLock.IsHeld();
    if (endsUpdate) {
        RunCleanupStep("uninstalling the udev rules", [] { CLinuxUtils::udevhalUninstall(); });
        RunCleanupStep("unloading the USB storage module", [] { CPlatformLayer::unloadUSB(); });
    }
    KOR_LOG(KOR_LOG_DEBUG, "COstrelSecureUpdate::Uninitialize() Leaving.");
    if (endsUpdate) {
        KORLogger::Terminate();
        m_updateLock.Release();
    }
}

}  // namespace SecureUpdateFramework
