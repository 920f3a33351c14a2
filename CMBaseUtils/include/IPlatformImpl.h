#pragma once
// The operating-system services the library needs, behind one interface.
// The slot order is fixed: the operations are declared in it.

#include <string>
#include <vector>

class IPlatformImpl {
public:
    virtual bool isNORBInstalled() = 0;
    virtual bool InstallNorb() = 0;
    virtual bool UninstallNorb() = 0;
    virtual void* LoadLibrary(const std::string& path) = 0;
    virtual void FreeLibrary(void* handle) = 0;
    virtual void* GetProcAddress(void* handle, const std::string& name) = 0;
    // The bool and long arguments are accepted for compatibility and ignored.
    virtual int ExecuteCmd(const std::string& command, bool, const long&) = 0;
    virtual int ExecuteCmdNoWait(const std::string& command, bool, const long&) = 0;
    virtual void Sleep(int seconds) = 0;
    virtual std::string getCurrentDirectory() = 0;
    virtual std::string getCurrentProcessDirectory() = 0;
    virtual bool setCurrentDirectory(const std::string& path) = 0;
    virtual std::vector<std::string> GetFileList(std::string& directory) = 0;
    // True for a regular file or a directory (links followed), found without
    // opening it; a FIFO, a socket or a device counts as absent.
    virtual bool IsFileExits(const std::string& name) = 0;
    virtual bool IsFileExistsAbs(const std::string& path) = 0;
    virtual void* LoadNorbLibrary(const std::string& name) = 0;
    virtual bool isUSBblacklisted() = 0;
    virtual void unloadUSB() = 0;
    virtual void* LoadLibrarywithoutCustomization(const std::string& path) = 0;

protected:
    // Not virtual, so that the interface has no slots beyond its operations;
    // protected, so that nobody deletes an implementation through it.
    ~IPlatformImpl() = default;
};
