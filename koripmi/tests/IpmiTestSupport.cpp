#include "IpmiTestSupport.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "KORIPMISession.h"
#include "KORLogger.h"
#include "KORLoggingOptions.h"
#include "simmachine/SimMachine.h"

namespace ipmitest {

const std::vector<uint8_t> kOrinStatus = {0x30, 0xA1, 0x01};

ScopedTempDirectory::ScopedTempDirectory() {
    char pattern[] = "/tmp/koripmi-test-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_path = pattern;
}

ScopedTempDirectory::~ScopedTempDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

ScopedWorkingDirectory::ScopedWorkingDirectory() {
    char previous[PATH_MAX];
    if (getcwd(previous, sizeof(previous)) == nullptr || chdir(Path().c_str()) != 0) {
        throw std::runtime_error("cannot enter the scratch directory");
    }
    m_previous = previous;
}

ScopedWorkingDirectory::~ScopedWorkingDirectory() {
    if (chdir(m_previous.c_str()) != 0) {
        std::abort();
    }
}

LogCapture::LogCapture() {
    KORLoggingOptions options;
    options.SetNumberOfSupportedLevels(5);
    options.SetNumberOfLevelsToShowInUserLog(5);
    options.SetApplicationName(KORString("KORIPMITest"));
    options.SetUserLogFile(KORFile(KORString(m_directory.Path() + "/user.log")));
    options.SetInternalLogFile(KORFile(KORString(m_directory.Path() + "/internal.log")));
    KORLogger::Initialize(options);
}

std::string LogCapture::Finish() {
    KORLogger::Terminate();
    std::ifstream in(m_directory.Path() + "/internal.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

size_t CountOccurrences(const std::string& text, const std::string& needle) {
    size_t count = 0;
    for (size_t at = text.find(needle); at != std::string::npos;
         at = text.find(needle, at + needle.size())) {
        ++count;
    }
    return count;
}

void WriteTextFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::trunc);
    out << text;
}

_KORIPMICommandData MakeBlock(const std::vector<uint8_t>& request,
                              _KORIPMIConfiguration* configuration) {
    _KORIPMICommandData block;
    memset(&block, 0, sizeof(block));
    block.pConfiguration = configuration;
    block.uiRequestLength = static_cast<unsigned int>(request.size());
    std::copy(request.begin(), request.end(), block.ucRequestBuffer);
    return block;
}

_KORIPMIConfiguration MakeConfiguration(unsigned int retryCount, unsigned int retryInterval) {
    _KORIPMIConfiguration configuration{};
    configuration.uiPollInterval = 60;
    configuration.uiPollCount = 5;
    configuration.uiRetryCount = retryCount;
    configuration.uiRetryInterval = retryInterval;
    return configuration;
}

size_t CountOpens(bool succeeded) {
    size_t count = 0;
    for (const sim::Event& open : sim::TraceOf("ipmi_open")) {
        count += open.fields.at("ok") == (succeeded ? "1" : "0") ? 1 : 0;
    }
    return count;
}

size_t CountSleeps(uint64_t milliseconds) {
    const std::vector<uint64_t> sleeps = sim::SleepsMs();
    return static_cast<size_t>(std::count(sleeps.begin(), sleeps.end(), milliseconds));
}

void ResetSettingsFile() {
    KORIPMISession::mIPMIXMLConfig.Release();
    KORIPMISession::mIPMIXMLConfig.SetConfigurationFileName(KORString("KORIPMIConfig.xml"));
}

}  // namespace ipmitest
