#pragma once
// The Linux implementation of the platform interface. Besides the plain
// services it loads (and later unloads) the kernel's USB storage driver for
// the update partition and finds or installs the maker's Norb library.
// Diagnostics go to the simple logger ("baseutils.log").

#include <string>
#include <vector>

#include "IPlatformImpl.h"

class CLinuxImpl : public IPlatformImpl {
public:
    bool isNORBInstalled() override;
    // Runs the install script at most once per nesting; true only when no
    // Norb library is usable afterwards.
    bool InstallNorb() override;
    bool UninstallNorb() override;
    void* LoadLibrary(const std::string& path) override;
    void FreeLibrary(void* handle) override;
    void* GetProcAddress(void* handle, const std::string& name) override;
    int ExecuteCmd(const std::string& command, bool, const long&) override;
    int ExecuteCmdNoWait(const std::string& command, bool, const long&) override;
    void Sleep(int seconds) override;
    std::string getCurrentDirectory() override;
    std::string getCurrentProcessDirectory() override;
    bool setCurrentDirectory(const std::string& path) override;
    std::vector<std::string> GetFileList(std::string& directory) override;
    bool IsFileExits(const std::string& name) override;
    bool IsFileExistsAbs(const std::string& path) override;
    void* LoadNorbLibrary(const std::string& name) override;
    // True when the USB storage driver is unavailable; loads it if it can.
    bool isUSBblacklisted() override;
    // Unloads the driver if this library loaded it, and forgets the check.
    void unloadUSB() override;
    void* LoadLibrarywithoutCustomization(const std::string& path) override;

    bool isESXSystem();
    bool isESXiSystem();
    bool isUSBStorageStaticallyLinked();
    bool isTOLVANNORBInstalled();

private:
    std::string NorbDirectory();
    std::string InstallScriptCommand(const std::string& action);

    static bool bUSBDriverNotLoaded;
    static bool bUSBDriverLoadedByVEK;
    static bool bUSBBlacklistCheckDone;
    static int nNORBInstallRefCount;
    static bool bNORBAlreadyInstalled;
};
