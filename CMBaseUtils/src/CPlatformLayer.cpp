#include "CPlatformLayer.h"

#include <cstdio>

#include "CLinuxImpl.h"
#include "KORHandles.h"

IPlatformImpl* CPlatformLayer::m_pPlatformImpl = nullptr;

IPlatformImpl* CPlatformLayer::GetPlatform() {
    if (m_pPlatformImpl == nullptr) {
        m_pPlatformImpl = new CLinuxImpl();
    }
    return m_pPlatformImpl;
}

bool CPlatformLayer::CreateEmptyVEKDebuLogFile() {
    return static_cast<bool>(KORHandles::File(std::fopen("vekdebuglog", "w")));
}

bool CPlatformLayer::isNORBInstalled() {
    return GetPlatform()->isNORBInstalled();
}

bool CPlatformLayer::InstallNorb() {
    return GetPlatform()->InstallNorb();
}

bool CPlatformLayer::UninstallNorb() {
    return GetPlatform()->UninstallNorb();
}

void* CPlatformLayer::Load_Library(const std::string& path) {
    return GetPlatform()->LoadLibrary(path);
}

void CPlatformLayer::FreeLibrary(void* handle) {
    GetPlatform()->FreeLibrary(handle);
}

void* CPlatformLayer::GetProcAddress(void* handle, const std::string& name) {
    return GetPlatform()->GetProcAddress(handle, name);
}

int CPlatformLayer::ExecuteCmd(const std::string& command, bool wait, const long& timeout) {
    return GetPlatform()->ExecuteCmd(command, wait, timeout);
}

int CPlatformLayer::ExecuteCmdNoWait(const std::string& command, bool wait, const long& timeout) {
    return GetPlatform()->ExecuteCmdNoWait(command, wait, timeout);
}

void CPlatformLayer::Sleep(int seconds) {
    GetPlatform()->Sleep(seconds);
}

std::string CPlatformLayer::getCurrentDirectory() {
    return GetPlatform()->getCurrentDirectory();
}

std::string CPlatformLayer::getCurrentProcessDirectory() {
    return GetPlatform()->getCurrentProcessDirectory();
}

bool CPlatformLayer::setCurrentDirectory(const std::string& path) {
    return GetPlatform()->setCurrentDirectory(path);
}

std::vector<std::string> CPlatformLayer::GetFileList(std::string& directory) {
    return GetPlatform()->GetFileList(directory);
}

bool CPlatformLayer::IsFileExits(const std::string& name) {
    return GetPlatform()->IsFileExits(name);
}

bool CPlatformLayer::IsFileExistsAbs(const std::string& path) {
    return GetPlatform()->IsFileExistsAbs(path);
}

void* CPlatformLayer::LoadNorbLibrary(const std::string& name) {
    return GetPlatform()->LoadNorbLibrary(name);
}

bool CPlatformLayer::isUSBblacklisted() {
    return GetPlatform()->isUSBblacklisted();
}

void CPlatformLayer::unloadUSB() {
    GetPlatform()->unloadUSB();
}

void* CPlatformLayer::Load_Library_without_Customization(const std::string& path) {
    return GetPlatform()->LoadLibrarywithoutCustomization(path);
}
