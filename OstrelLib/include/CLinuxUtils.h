#pragma once
// Recognises the Linux distribution or embedded environment the host runs on,
// and installs and removes the udev rules that make the controller's update
// partition appear as the library expects, stopping and restarting the HAL
// daemon where that environment needs it.

#include <string>

class CLinuxUtils {
public:
    CLinuxUtils() = delete;

    // Values of GetLinuxOSPlatform.
    enum Platform {
        PLATFORM_NOT_ROOT = -1,
        PLATFORM_REDHAT = 0,  // also the default when nothing else matches
        PLATFORM_SUSE = 1,
        PLATFORM_XENSERVER = 4,
        PLATFORM_UMI = 5,  // the maker's own environments, WMB or RPX
        PLATFORM_ESX3 = 6,
        PLATFORM_ESX4 = 8,
        PLATFORM_NEW_UMI = 9,  // the newer form of the maker's own environments
        PLATFORM_ESX41 = 11,
        PLATFORM_CENTOS = 12,
        PLATFORM_ESXI = 14
    };

    // Recognised once per process; PLATFORM_NOT_ROOT (asked again on every
    // call) when the process is not root.
    static int GetLinuxOSPlatform();
    // Whether the process is root, or may become it.
    static bool IsRunningAsRoot();
    // On SUSE also stops a running HAL daemon, after leaving a marker in the
    // run-time directory (RunTimeFiles.h); a daemon found stopped with the
    // marker there (an update was killed meanwhile) counts as running.
    static bool udevhalInstall();
    // Always true. On SUSE starts the daemon again and removes the marker.
    static bool udevhalUninstall();
    static bool RestartUdevRules();
    static bool IsHalDaemonRunning();
    static bool StartHalDaemon();
    static bool StopHalDaemon();
    // Copies a file into a directory and makes it executable. The file name
    // ends in a blank and the directory in "/", as the command line expects.
    static bool CopyFile(const std::string& file, const std::string& directory);

private:
    static int m_iLinuxPlatform;
    static bool m_bHaldDaemonRunning;
};
