#pragma once
// One calling thread's context inside the transport: its own device processor
// and the retry settings its requests use. Nothing is exchanged with the
// controller to open or close it.

#include <memory>

#include "IIPMICommandProcessor.h"
#include "KORIPMICommandData.h"
#include "KORIPMIXMLConfig.h"
#include "KORString.h"

class KORIPMISession {
public:
    KORIPMISession();
    virtual ~KORIPMISession();
    KORIPMISession(const KORIPMISession&) = delete;
    KORIPMISession& operator=(const KORIPMISession&) = delete;

    // Opens the device and settles the configuration: the application defaults,
    // overridden by the settings file when it loads, otherwise by the argument.
    bool Initialize(const _KORIPMIConfiguration* configuration);
    bool InitializeFromFile();
    unsigned int ProcessCommand(CKORIPMICommandData& record);
    // Closes the device; always true.
    bool Release();
    void SetConfigurationFileName(KORString name);

    // The settings file of the process, "KORIPMIConfig.xml" in the working directory.
    static KORIPMIXMLConfig mIPMIXMLConfig;

private:
    std::unique_ptr<IIPMICommandProcessor> m_pProcessor;
    bool m_bInitialized;
    bool m_bConfiguredFromFile;
    std::unique_ptr<_KORIPMIConfiguration> m_pConfiguration;
};
