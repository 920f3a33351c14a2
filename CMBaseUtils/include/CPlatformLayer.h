#pragma once
// Static facade over the platform implementation: every operating-system
// service of the library (commands, sleeps, library loading, directories,
// file tests, the USB storage driver, the Norb library) goes through here.

#include <string>
#include <vector>

#include "IPlatformImpl.h"

class CPlatformLayer {
public:
    CPlatformLayer() = delete;

    // Creates the implementation on first use; it lives until the process ends.
    static IPlatformImpl* GetPlatform();
    // Creates or empties "vekdebuglog" in the working directory, which switches
    // logging on for later runs.
    static bool CreateEmptyVEKDebuLogFile();

    static bool isNORBInstalled();
    static bool InstallNorb();
    static bool UninstallNorb();
    static void* Load_Library(const std::string& path);
    static void FreeLibrary(void* handle);
    static void* GetProcAddress(void* handle, const std::string& name);
    static int ExecuteCmd(const std::string& command, bool wait, const long& timeout);
    static int ExecuteCmdNoWait(const std::string& command, bool wait, const long& timeout);
    static void Sleep(int seconds);
    static std::string getCurrentDirectory();
    static std::string getCurrentProcessDirectory();
    static bool setCurrentDirectory(const std::string& path);
    static std::vector<std::string> GetFileList(std::string& directory);
    static bool IsFileExits(const std::string& name);
    static bool IsFileExistsAbs(const std::string& path);
    static void* LoadNorbLibrary(const std::string& name);
    static bool isUSBblacklisted();
    static void unloadUSB();
    static void* Load_Library_without_Customization(const std::string& path);

private:
    static IPlatformImpl* m_pPlatformImpl;
};
