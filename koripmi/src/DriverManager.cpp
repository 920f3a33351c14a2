#include "DriverManager.h"

#include "KORLogger.h"
#include "KORSystem.h"

namespace {

const KORString strLsmod("lsmod ");
const KORString strModprobe("modprobe ");
const KORString strRmmod("rmmod ");
const KORString strGrep("grep ");
const KORString strPipe(" | ");
const KORString strDevNull(" > /dev/null 2>&1 ");
const KORString strDevIntf("ipmi_devintf");
const KORString strMsgHndlr("ipmi_msghandler");
const KORString strSI("ipmi_si");

constexpr int kOSNameVMwareESX = 18;
constexpr int kOSNameVMwareESXi = 19;
constexpr unsigned int kUnloadPauseSeconds = 3;

int RunCommand(const KORString& commandLine) {
    return KORSystem::RunCommandLine(commandLine.GetUTF8String()).raw;
}

}  // namespace

DriverManager::DriverManager(std::vector<KORString>* refusedUnloads)
    : m_bDevIntfLoaded(false),
      m_bMsgHandlerLoaded(false),
      m_bSILoaded(false),
      m_bDriverAvailable(false),
      m_bLoadedByManager(false),
      m_refusedUnloads(refusedUnloads) {}

DriverManager::~DriverManager() {
    ReleaseIPMIDriver();
}

int DriverManager::IsDriverAvailable(KORString module) {
    KOR_LOG(KOR_LOG_INFO, "Entering DriverManager::IsDriverAvailable() %s",
            module.GetUTF8String().c_str());
    const KORString command = strLsmod + strPipe + strGrep + module + strDevNull;
    const int status = RunCommand(command);
    KOR_LOG(KOR_LOG_INFO, "Command %s, Exit code : %d", command.GetUTF8String().c_str(), status);
    return status;
}

int DriverManager::LoadDriver(KORString module) {
    KOR_LOG(KOR_LOG_INFO, "Entering DriverManager::LoadDriver() %s ",
            module.GetUTF8String().c_str());
    const KORString command = strModprobe + module + strDevNull;
    const int status = RunCommand(command);
    KOR_LOG(KOR_LOG_INFO, "Command : %s, exit code : %d", command.GetUTF8String().c_str(), status);
    return status;
}

int DriverManager::ReleaseDriver(KORString module) {
    KOR_LOG(KOR_LOG_INFO, "Entering DriverManager::ReleaseDriver() %s ",
            module.GetUTF8String().c_str());
    // The device was opened just before; give the driver time to settle.
    KORSystem::SleepSeconds(kUnloadPauseSeconds);
    const int status = UnloadDriver(module);
    KOR_LOG(KOR_LOG_INFO, "Leaving DriverManager::ReleaseDriver()");
    return status;
}

int DriverManager::UnloadDriver(const KORString& module) {
    const KORString command = strRmmod + module + strDevNull;
    const int status = RunCommand(command);
    KOR_LOG(KOR_LOG_INFO, "Releasing driver, command : %s, Exit code : %d\n",
            command.GetUTF8String().c_str(), status);
    return status;
}

int DriverManager::IsIPMIDriverAvailable() {
    if (m_bDriverAvailable) {
        return 0;
    }
    m_environmentInfo.Initialize();
    const int osName = m_environmentInfo.GetOSName();
    if (osName == kOSNameVMwareESX || osName == kOSNameVMwareESXi) {
        KOR_LOG(KOR_LOG_INFO,
                "Detected the system as ESX and hence blacklisting the checks for loading the "
                "driver on Linux Operating System");
        return 0;
    }
    const struct {
        const KORString& module;
        bool& found;
    } checks[] = {
        {strMsgHndlr, m_bMsgHandlerLoaded}, {strDevIntf, m_bDevIntfLoaded}, {strSI, m_bSILoaded}};
    for (const auto& check : checks) {
        if (IsDriverAvailable(check.module) == 0) {
            check.found = true;
            KOR_LOG(KOR_LOG_INFO, "Driver %s is loaded", check.module.GetUTF8String().c_str());
        }
    }
    if (m_bMsgHandlerLoaded && m_bDevIntfLoaded && m_bSILoaded) {
        m_bDriverAvailable = true;
        return 0;
    }
    const int status = LoadIPMIDriver();
    if (status == 0) {
        m_bDriverAvailable = true;
    }
    return status;
}

int DriverManager::LoadIPMIDriver() {
    m_bLoadedByManager = true;
    const int msgHandlerStatus = m_bMsgHandlerLoaded ? 0 : LoadDriver(strMsgHndlr);
    const int devIntfStatus = m_bDevIntfLoaded ? 0 : LoadDriver(strDevIntf);
    const int siStatus = m_bSILoaded ? 0 : LoadDriver(strSI);
    // One module that loads is enough to try the device.
    return (msgHandlerStatus != 0 && devIntfStatus != 0 && siStatus != 0) ? 1 : 0;
}

int DriverManager::ReleaseIPMIDriver() {
    KOR_LOG(KOR_LOG_INFO, "DriverManager::ReleaseIPMIDriver() Entering");
    if (!m_bLoadedByManager) {
        return 0;
    }
    m_environmentInfo.Initialize();
    if (m_environmentInfo.GetOSName() == kOSNameVMwareESXi) {
        return 0;
    }
    // Reverse of the load order: a module goes before the ones it depends on.
    const struct {
        const KORString& module;
        bool foundLoaded;
    } releases[] = {
        {strSI, m_bSILoaded}, {strDevIntf, m_bDevIntfLoaded}, {strMsgHndlr, m_bMsgHandlerLoaded}};
    for (const auto& release : releases) {
        if (!release.foundLoaded) {
            // The kernel refuses while the device is open; the owner of the
            // device retries once it has closed it.
            if (ReleaseDriver(release.module) != 0 && m_refusedUnloads != nullptr) {
                m_refusedUnloads->push_back(release.module);
            }
            KOR_LOG(KOR_LOG_INFO, "Unloaded IPMI driver %s since it is already loaded",
                    release.module.GetUTF8String().c_str());
        }
    }
    m_bDevIntfLoaded = false;
    m_bMsgHandlerLoaded = false;
    m_bSILoaded = false;
    m_bDriverAvailable = false;
    m_bLoadedByManager = false;
    KOR_LOG(KOR_LOG_INFO, "DriverManager::ReleaseIPMIDriver() Leaving");
    return 0;
}
