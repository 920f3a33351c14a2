#include "CLinuxImpl.h"

#include <dirent.h>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "CLogger.h"
#include "KORHandles.h"
#include "KORSystem.h"
#include "ShellWord.h"
#include "SystemRelease.h"

bool CLinuxImpl::bUSBDriverNotLoaded = false;
bool CLinuxImpl::bUSBDriverLoadedByVEK = false;
bool CLinuxImpl::bUSBBlacklistCheckDone = false;
int CLinuxImpl::nNORBInstallRefCount = 0;
bool CLinuxImpl::bNORBAlreadyInstalled = false;

namespace {

constexpr int kPathBufferSize = 2048;
constexpr int kRmmodAttempts = 59;

const std::string kNorbDirectory = "/opt/tessel/vek64/lib/";
const std::string kESXiNorbDirectory = "/scratch/opt/tessel/vek/lib/";
const std::string kNorbLibrary = "libnrbipm.so";
const std::string kNorbLibrary64 = "libnrbipm64.so";
const std::string kInstallScript = "/vekfernlyinstall.sh ";

const std::string kUSBModulePresentCommand = "lsmod | grep usb_storage  > /dev/null 2>&1";
const std::string kUSBModuleLoadCommand = "modprobe usb_storage  > /dev/null 2>&1";
const std::string kUSBModuleUnloadCommand = "rmmod usb_storage  > /dev/null 2>&1";
const std::string kUSBModuleBuiltinCommand =
    "grep -i \"usb[-_]storage.ko\" /lib/modules/$(uname -r)/modules.builtin  > /dev/null 2>&1";

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

bool CLinuxImpl::isNORBInstalled() {
    const std::string directory = NorbDirectory();
    CLOG("Load library using " + directory + kNorbLibrary);
    void* handle = LoadLibrary(directory + kNorbLibrary);
    if (handle == nullptr) {
        handle = LoadLibrary(directory + kNorbLibrary64);
    }
    if (handle == nullptr) {
        return false;
    }
    CLOG("NORB is installed in the system");
    FreeLibrary(handle);
    return true;
}

bool CLinuxImpl::InstallNorb() {
    if (nNORBInstallRefCount++ != 0) {
        return false;
    }
    bNORBAlreadyInstalled = isNORBInstalled();
    if (bNORBAlreadyInstalled) {
        return false;
    }
    CLOG("InstallNorb: Custom Norb Not Already Present");
    const std::string command = InstallScriptCommand("install");
    CLOG("Executimg command: " + command);
    if (ExecuteCmd(command, false, 0) == 0) {
        CLOG("InstallNorb: Custome Norb Installed Successfully");
        return false;
    }
    CLOG("InstallNorb: Norb Installation Failed");
    if (isTOLVANNORBInstalled()) {
        CLOG("InstallNorb: Found TOLVAN Norb");
        return false;
    }
    CLOG("InstallNorb: TOLVAN Norb Not Present");
    return true;
}

bool CLinuxImpl::UninstallNorb() {
    bool failed = false;
    // An unpaired call leaves the count at 0, so that later pairs still nest.
    if (nNORBInstallRefCount > 0 && --nNORBInstallRefCount == 0 && !bNORBAlreadyInstalled) {
        failed = ExecuteCmd(InstallScriptCommand("uninstall"), false, 0) != 0;
    }
    CLOG(failed ? "UninstallNorb: Norb Uninstallation Failed"
                : "UninstallNorb: Norb Uninstalled Successfully");
    return failed;
}

void* CLinuxImpl::LoadLibrary(const std::string& path) {
    // A bare name is left to the dynamic loader's search path.
    if (!Contains(path, "/") || IsFileExistsAbs(path)) {
        return dlopen(path.c_str(), RTLD_NOW);
    }
    return nullptr;
}

void CLinuxImpl::FreeLibrary(void* handle) {
    if (handle != nullptr) {
        dlclose(handle);
    }
}

void* CLinuxImpl::GetProcAddress(void* handle, const std::string& name) {
    return handle == nullptr ? nullptr : dlsym(handle, name.c_str());
}

int CLinuxImpl::ExecuteCmd(const std::string& command, bool, const long&) {
    return KORSystem::RunCommandLine(command).raw;
}

int CLinuxImpl::ExecuteCmdNoWait(const std::string& command, bool, const long&) {
    return KORSystem::RunCommandLine(command + " &").raw;
}

void CLinuxImpl::Sleep(int seconds) {
    // The pause takes an unsigned count: a negative one would never return.
    if (seconds > 0) {
        KORSystem::SleepSeconds(static_cast<unsigned>(seconds));
    }
}

std::string CLinuxImpl::getCurrentDirectory() {
    char buffer[kPathBufferSize] = {};
    if (getcwd(buffer, sizeof buffer) == nullptr) {
        // Still names the working directory for every path built from it.
        CLOG("CLinuxImpl::getCurrentDirectory() failed via getcwd");
        return "./";
    }
    return std::string(buffer) + "/";
}

std::string CLinuxImpl::getCurrentProcessDirectory() {
    char buffer[kPathBufferSize] = {};
    // readlink does not terminate the text; a result that fills the buffer
    // may have been cut short.
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0 || length >= static_cast<ssize_t>(sizeof buffer - 1)) {
        CLOG("CLinuxImpl::getCurrentProcessDirectory() failed via readlink");
        return getCurrentDirectory();
    }
    const std::string executable(buffer, static_cast<std::size_t>(length));
    return executable.substr(0, executable.rfind('/')) + "/";
}

bool CLinuxImpl::setCurrentDirectory(const std::string& path) {
    return chdir(path.c_str()) == 0;
}

std::vector<std::string> CLinuxImpl::GetFileList(std::string& directory) {
    // An empty argument lists the working directory, as "./" + name.
    const std::string listed = directory.empty() ? "." : directory;
    std::vector<std::string> files;
    const KORHandles::Directory stream(opendir(listed.c_str()));
    if (!stream) {
        return files;
    }
    while (const dirent* entry = readdir(stream.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            files.push_back(listed + "/" + name);
        }
    }
    return files;
}

bool CLinuxImpl::IsFileExits(const std::string& name) {
    return IsFileExistsAbs(getCurrentDirectory() + name);
}

// What opening it for reading would find without waiting, found without
// opening it: the open of a FIFO waits for a writer, and that of a device
// may act on it.
bool CLinuxImpl::IsFileExistsAbs(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 ||
        !(S_ISREG(status.st_mode) || S_ISDIR(status.st_mode))) {
        CLOG("CLinuxImpl::IsFileExistsAbs() File name " + path + " doesnt exist");
        return false;
    }
    CLOG("CLinuxImpl::IsFileExistsAbs() File name " + path + " exist");
    return true;
}

void* CLinuxImpl::LoadNorbLibrary(const std::string& name) {
    void* handle = LoadLibrary(NorbDirectory() + name);
    if (handle != nullptr) {
        return handle;
    }
    // The message names the usual directory even where ESXi keeps it elsewhere.
    CLOG("LoadNorbLibrary: Unable to Load " + name + " from " + kNorbDirectory);
    handle = LoadLibrary(name);
    if (handle == nullptr) {
        CLOG("LoadNorbLibrary: Unable to Load " + name + " from " + "TOLVAN");
    }
    return handle;
}

bool CLinuxImpl::isUSBblacklisted() {
    CLOG(" CLinuxImpl::isUSBblacklisted Start");
    if (isESXiSystem() || isESXSystem()) {
        CLOG(" CLinuxImpl::Skipping USB blacklisting check for ESXi and ESX");
        return false;
    }
    if (isUSBStorageStaticallyLinked()) {
        return false;
    }
    if (bUSBBlacklistCheckDone) {
        CLOG(" CLinuxImpl::isUSBblacklisted check has already been performed earlier.");
        CLOG(" CLinuxImpl::isUSBblacklisted End");
        return bUSBDriverNotLoaded;
    }
    CLOG(" CLinuxImpl::isUSBblacklisted check is being done for the first time.");
    if (ExecuteCmd(kUSBModulePresentCommand, false, 0) == 0) {
        CLOG("CLinuxImpl::isUSBblacklisted usb_storage module is already present.");
    } else if (ExecuteCmd(kUSBModuleLoadCommand, false, 0) != 0 ||
               ExecuteCmd(kUSBModulePresentCommand, false, 0) != 0) {
        CLOG(
            "CLinuxImpl::isUSBblacklisted usb_storage module is not loaded. Attempt to load it "
            "was unsuccessful.");
        bUSBDriverNotLoaded = true;
    } else {
        CLOG("CLinuxImpl::isUSBblacklisted loading usb_storage module is successful.");
        bUSBDriverLoadedByVEK = true;
    }
    CLOG(" CLinuxImpl::isUSBblacklisted End");
    bUSBBlacklistCheckDone = true;
    return bUSBDriverNotLoaded;
}

void CLinuxImpl::unloadUSB() {
    CLOG(" CLinuxImpl::unloadUSB Start");
    if (bUSBDriverLoadedByVEK) {
        CLOG(" CLinuxImpl::unloadUSB usb module need be unloaded");
        for (int attempt = 0; attempt < kRmmodAttempts; ++attempt) {
            if (ExecuteCmd(kUSBModuleUnloadCommand, false, 0) == 0) {
                CLOG("CLinuxImpl::unloadUSB unloading usb module is successful.");
                break;
            }
            // The partition's disk may still hold the driver busy for a moment.
            Sleep(1);
            CLOG("CLinuxImpl::unloadUSB unloading usb module is not successful.");
        }
    } else {
        CLOG(" CLinuxImpl::unloadUSB is not required.");
    }
    CLOG(" CLinuxImpl::unloadUSB End");
    bUSBDriverNotLoaded = false;
    bUSBDriverLoadedByVEK = false;
    bUSBBlacklistCheckDone = false;
}

void* CLinuxImpl::LoadLibrarywithoutCustomization(const std::string& path) {
    return LoadLibrary(path);
}

bool CLinuxImpl::isESXSystem() {
    std::string line;
    if (!SystemRelease::ReadFirstLine("/etc/vmware-release", line)) {
        return false;
    }
    std::transform(line.begin(), line.end(), line.begin(),
                   [](unsigned char character) { return std::tolower(character); });
    if (Contains(line, "vmware esx server 3")) {
        CLOG("getLinuxOSVer: ESX 3 Found");
        return true;
    }
    // Both 4.1 and 4 report themselves as ESX 4 here.
    if (Contains(line, "vmware esx 4.1") || Contains(line, "vmware esx 4")) {
        CLOG("getLinuxOSVer: ESX 4 Found");
        return true;
    }
    CLOG("getLinuxOSVer: Unrecognized VMWare Found");
    return false;
}

bool CLinuxImpl::isESXiSystem() {
    return SystemRelease::IsESXiKernel();
}

bool CLinuxImpl::isUSBStorageStaticallyLinked() {
    if (ExecuteCmd(kUSBModuleBuiltinCommand, false, 0) != 0) {
        return false;
    }
    CLOG("CLinuxImpl::isUSBStorageStaticallyLinked usb_storage is built with kernel");
    return true;
}

bool CLinuxImpl::isTOLVANNORBInstalled() {
    void* handle = LoadLibrary(kNorbLibrary);
    if (handle == nullptr) {
        handle = LoadLibrary(kNorbLibrary64);
    }
    FreeLibrary(handle);
    return handle != nullptr;
}

std::string CLinuxImpl::NorbDirectory() {
    return isESXiSystem() ? kESXiNorbDirectory : kNorbDirectory;
}

std::string CLinuxImpl::InstallScriptCommand(const std::string& action) {
    // The script lies beside the host program, whose path may hold any character.
    return ShellWord(getCurrentProcessDirectory()) + kInstallScript + action;
}
