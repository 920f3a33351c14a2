#include "KORIPMIInterfaceImpl.h"

#include "DriverManager.h"
#include "KORFile.h"
#include "KORIPMISessionHandler.h"
#include "KORIPMIStatus.h"
#include "KORLock.h"
#include "KORLogFile.h"
#include "KORLogger.h"
#include "KORLoggingOptions.h"

namespace {

// Counts the fronts alive in the process. It is held across the teardown by
// the last front, so a front built meanwhile waits and then finds neither a
// half-destroyed registry nor a logger about to be closed under it.
KORLock& FrontsLock() {
    return KORProcessLock<KORIPMIInterfaceImpl>();
}
unsigned int gLiveFronts = 0;

}  // namespace

KORIPMIInterfaceImpl::KORIPMIInterfaceImpl() {
    KORLockGuard guard(FrontsLock());
    ++gLiveFronts;
}

KORIPMIInterfaceImpl::~KORIPMIInterfaceImpl() {
    KORLockGuard guard(FrontsLock());
    if (--gLiveFronts == 0 && m_bEndsSharedStateWhenLast) {
        KORIPMISessionHandler::DestroyInstance();
        KORLogger::Terminate();
    }
}

void KORIPMIInterfaceImpl::Abandon(KORIPMIInterfaceImpl* front) {
    if (front == nullptr) {
        return;
    }
    front->Release();
    front->m_bEndsSharedStateWhenLast = false;
    delete front;
}

unsigned int KORIPMIInterfaceImpl::Initialize(const _KORIPMIConfiguration* configuration) {
    InitializeKORLogger();
    KOR_LOG(KOR_LOG_INFO, "Started Logging for KORIPMI Library");
    // The manager unloads what it loaded when it goes out of scope, after the
    // device has been opened; what the kernel keeps for the open device is
    // unloaded by Release.
    DriverManager driverManager(&m_refusedUnloads);
    unsigned int status = static_cast<unsigned int>(driverManager.IsIPMIDriverAvailable());
    if (status == 0) {
        KORIPMISessionHandler* handler = KORIPMISessionHandler::GetInstance();
        handler->SetApplicationDefaultConfiguration(configuration);
        if (!handler->GetSession()->Initialize(nullptr)) {
            status = KOR_IPMI_STATUS_SESSION_FAILED;
        }
    }
    return status;
}

unsigned int KORIPMIInterfaceImpl::Initialize(KORString configurationFileName) {
    KORIPMISessionHandler::GetInstance()->GetSession()->SetConfigurationFileName(
        configurationFileName);
    return Initialize(static_cast<const _KORIPMIConfiguration*>(nullptr));
}

unsigned int KORIPMIInterfaceImpl::IPMIRequest(_KORIPMICommandData* commandData) {
    if (commandData == nullptr) {
        KOR_LOG(KOR_LOG_INFO, "Invalid parameter passed");
        return KOR_IPMI_STATUS_INVALID_PARAMETER;
    }
    CKORIPMICommandData record(commandData);
    return KORIPMISessionHandler::GetInstance()->GetSession()->ProcessCommand(record);
}

bool KORIPMIInterfaceImpl::Release() {
    KORIPMISessionHandler::GetInstance()->ReleaseSession();
    for (const KORString& module : m_refusedUnloads) {
        KOR_LOG(KOR_LOG_INFO, "Unloading IPMI driver %s now that the device is closed",
                module.GetUTF8String().c_str());
        DriverManager::UnloadDriver(module);
    }
    m_refusedUnloads.clear();
    return true;
}

void KORIPMIInterfaceImpl::InitializeKORLogger() {
    if (!KORDebugMarkerPresent()) {
        return;
    }
    KORLoggingOptions options;
    options.SetNumberOfSupportedLevels(5);
    options.SetNumberOfLevelsToShowInUserLog(5);
    options.SetApplicationName(KORString("KORIPMILibrary"));
    options.SetUserLogFile(KORFile(KORString("koripmi.log")));
    options.SetInternalLogFile(KORFile(KORString("koripmi_internal.log")));
    KORLogger::Initialize(options);
}
