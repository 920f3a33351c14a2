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

namespace {

// The settings the file may give and the values taken from it. Outside its
// bounds a value is refused and the application default stays:
// - RetryCount, 1 to 10: with 0 no answer is ever read, so every command
//   fails; each try of a silent controller waits 20 s for its answer, and a
//   retryable completion code repeats the whole exchange, so the worst case
//   of one command grows with the square of the count.
// - RetryInterval, 0 to 1000 ms: the pause between tries of one request on
//   the local interface, where a busy controller answers again within a
//   second (the updates' longer waits are the catalogue's 5-second polls).
// With both at their highest one command takes at most
// 10 x (10 x (20.00006 s + 1 s) + 1 s), about 2110 s; with the defaults
// (5 and 50 ms) at most 5 x (5 x (20.00006 s + 0.05 s) + 0.05 s), about 501.5 s.
// - PollingInterval, 1 to 600, and PollingCount, 1 to 100: carried with every
//   request though nothing in the transport waits by them; bounded so that
//   nothing can ever wait by them for days.
struct FileSetting {
    const char* key;
    unsigned int _KORIPMIConfiguration::*field;
    int lowest;
    int highest;
};
const FileSetting kFileSettings[] = {
    {"RetryCount", &_KORIPMIConfiguration::uiRetryCount, 1, 10},
    {"PollingInterval", &_KORIPMIConfiguration::uiPollInterval, 1, 600},
    {"PollingCount", &_KORIPMIConfiguration::uiPollCount, 1, 100},
    {"RetryInterval", &_KORIPMIConfiguration::uiRetryInterval, 0, 1000},
};

}  // namespace

bool KORIPMISession::InitializeFromFile() {
    for (const FileSetting& setting : kFileSettings) {
        int value = 0;
        if (!mIPMIXMLConfig.GetConfigInt(KORString(setting.key), &value)) {
            continue;
        }
        unsigned int& field = (*m_pConfiguration).*setting.field;
        if (value < setting.lowest || value > setting.highest) {
            KOR_LOG(KOR_LOG_WARN,
                    "KORIPMIConfig.xml: %s of %d is outside %d to %d; the default %u applies.",
                    setting.key, value, setting.lowest, setting.highest, field);
            continue;
        }
        field = static_cast<unsigned int>(value);
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
