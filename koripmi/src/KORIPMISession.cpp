#include "KORIPMISession.h"

#include <new>

#include "IPMICommandProcessorCreator.h"
#include "KORIPMISessionHandler.h"
#include "KORIPMIStatus.h"
#include "KORLogger.h"

KORIPMIXMLConfig KORIPMISession::mIPMIXMLConfig(KORString("KORIPMIConfig.xml"));

KORIPMISession::KORIPMISession()
    : m_bInitialized(false),
      m_bConfiguredFromFile(false),
      m_pConfiguration(new (std::nothrow) _KORIPMIConfiguration()) {}

KORIPMISession::~KORIPMISession() {
    // A session deleted without Release (its thread never released it) must
    // still give its device handle back.
    Release();
}

bool KORIPMISession::Initialize(const _KORIPMIConfiguration* configuration) {
    if (m_bInitialized) {
        return true;
    }
    if (m_pConfiguration == nullptr) {
        KOR_LOG(KOR_LOG_ERROR, "No memory for the session configuration");
        return false;
    }
    // Retried on the next call while no device node opens.
    m_pProcessor.reset(IPMICommandProcessorCreator::Create());
    if (m_pProcessor == nullptr) {
        return false;
    }
    const _KORIPMIConfiguration defaults =
        KORIPMISessionHandler::GetInstance()->CopyOfApplicationDefaultConfiguration();
    m_pConfiguration->uiPollInterval = defaults.uiPollInterval;
    m_pConfiguration->uiPollCount = defaults.uiPollCount;
    m_pConfiguration->uiRetryCount = defaults.uiRetryCount;
    m_pConfiguration->uiRetryInterval = defaults.uiRetryInterval;
    if (mIPMIXMLConfig.Initialize()) {
        InitializeFromFile();
    } else {
        KOR_LOG(KOR_LOG_INFO, "Config couldn't be initialized from configuration file");
        m_bConfiguredFromFile = false;
        if (configuration != nullptr) {
            *m_pConfiguration = *configuration;
        }
    }
    m_bInitialized = true;
    return true;
}

bool KORIPMISession::InitializeFromFile() {
    const struct {
        const char* key;
        unsigned int _KORIPMIConfiguration::*field;
    } settings[] = {{"RetryCount", &_KORIPMIConfiguration::uiRetryCount},
                    {"PollingInterval", &_KORIPMIConfiguration::uiPollInterval},
                    {"PollingCount", &_KORIPMIConfiguration::uiPollCount},
                    {"RetryInterval", &_KORIPMIConfiguration::uiRetryInterval}};
    for (const auto& setting : settings) {
        int value = 0;
        if (mIPMIXMLConfig.GetConfigInt(KORString(setting.key), &value)) {
            // A negative value wraps on purpose: -1 means "as many as possible".
            (*m_pConfiguration).*setting.field = static_cast<unsigned int>(value);
        }
    }
    // The file decides even when it named none of the keys.
    m_bConfiguredFromFile = true;
    return true;
}

unsigned int KORIPMISession::ProcessCommand(CKORIPMICommandData& record) {
    if (!m_bInitialized) {
        Initialize(nullptr);
    }
    if (m_pProcessor == nullptr) {
        KOR_LOG(KOR_LOG_ERROR, "No IPMI device is open for this thread");
        return KOR_IPMI_STATUS_TRANSPORT_FAILURE;
    }
    if (m_bConfiguredFromFile || record.GetConfigurationData() == nullptr) {
        record.SetConfigurationData(m_pConfiguration.get());
    }
    return static_cast<unsigned int>(m_pProcessor->ExecuteCommand(record));
}

bool KORIPMISession::Release() {
    // Destroying the processor closes the device. The configuration stays with
    // the session until it is deleted, so a record that still points to it
    // never sees freed memory.
    m_pProcessor.reset();
    m_bInitialized = false;
    return true;
}

void KORIPMISession::SetConfigurationFileName(KORString name) {
    mIPMIXMLConfig.SetConfigurationFileName(name);
}
