#include "kortest/KorLog.h"

#include "KORFile.h"
#include "KORLogger.h"
#include "KORLoggingOptions.h"

namespace kortest {

namespace {

// "APP LEVEL : DATE TIME FUNCTION() FILE:LINE message", the function and the
// file padded with blanks
const char kInternalLine[] = R"([^ ]+ ([^ ]+) +: [^ ]+ [^ ]+ [^ ]+ *\(\) [^ ]+ *: *[0-9]+ (.*))";

}  // namespace

KorLog::KorLog(const std::string& applicationName)
    : m_applicationName(applicationName),
      m_internalLog(m_directory.Join("internal.log"), kInternalLine) {
    StartInto(m_directory.Path(), m_applicationName);
}

KorLog::~KorLog() {
    KORLogger::Terminate();
}

std::vector<std::string> KorLog::Take() {
    KORLogger::Terminate();
    std::vector<std::string> messages = m_internalLog.Take();
    StartInto(m_directory.Path(), m_applicationName);
    return messages;
}

std::string KorLog::Finish() {
    KORLogger::Terminate();
    return m_directory.Read("internal.log");
}

void KorLog::StartInto(const std::string& directory, const std::string& applicationName) {
    KORLoggingOptions options;
    options.SetApplicationName(KORString(applicationName));
    options.SetNumberOfSupportedLevels(5);
    options.SetNumberOfLevelsToShowInUserLog(5);
    options.SetUserLogFile(KORFile(KORString(directory + "/user.log")));
    options.SetInternalLogFile(KORFile(KORString(directory + "/internal.log")));
    KORLogger::Initialize(options);
}

}  // namespace kortest
