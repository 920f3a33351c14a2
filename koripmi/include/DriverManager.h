#pragma once
// Checks the three IPMI kernel modules with lsmod, loads the missing ones with
// modprobe and, when destroyed, unloads with rmmod the ones it loaded. On
// VMware ESX and ESXi the modules are not Linux modules and are left alone.
// The unload runs while its user still holds the device open, which a real
// kernel refuses: the modules refused are handed to the user, who unloads
// them with UnloadDriver once the device is closed.

#include "IKORIPMIDriverManager.h"
#include "KOREnvironmentInfo.h"
#include "KORString.h"

#include <vector>

class DriverManager final : public IKORIPMIDriverManager {
public:
    // refusedUnloads, when given, collects the modules whose unload failed.
    explicit DriverManager(std::vector<KORString>* refusedUnloads = nullptr);
    ~DriverManager() override;
    DriverManager(const DriverManager&) = delete;
    DriverManager& operator=(const DriverManager&) = delete;

    int IsIPMIDriverAvailable() override;
    int ReleaseIPMIDriver() override;

    // Each returns the raw system() status of its command (0 = success).
    int IsDriverAvailable(KORString module);
    int LoadDriver(KORString module);
    int ReleaseDriver(KORString module);
    // The unload command alone, without the pause ReleaseDriver makes first.
    static int UnloadDriver(const KORString& module);
    // 1 only when none of the modules was found and every load failed.
    int LoadIPMIDriver();

private:
    bool m_bDevIntfLoaded;
    bool m_bMsgHandlerLoaded;
    bool m_bSILoaded;
    bool m_bDriverAvailable;
    bool m_bLoadedByManager;
    KOREnvironmentInfo m_environmentInfo;
    std::vector<KORString>* m_refusedUnloads;
};
