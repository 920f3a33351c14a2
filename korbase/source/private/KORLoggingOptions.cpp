#include "KORLoggingOptions.h"

// Every configuration sets both counts; zero keeps an unconfigured user log closed.
KORLoggingOptions::KORLoggingOptions() : m_supportedLevels(0), m_levelsInUserLog(0) {}

bool KORLoggingOptions::SetApplicationName(const KORString& name) {
    m_applicationName = name;
    return true;
}

KORString KORLoggingOptions::GetApplicationName() const {
    return m_applicationName;
}

bool KORLoggingOptions::SetNumberOfSupportedLevels(int levels) {
    m_supportedLevels = levels;
    return true;
}

int KORLoggingOptions::NumberOfSupportedLevels() const {
    return m_supportedLevels;
}

bool KORLoggingOptions::SetNumberOfLevelsToShowInUserLog(int levels) {
    m_levelsInUserLog = levels;
    return true;
}

int KORLoggingOptions::NumberOfLevelsToShowInUserLog() const {
    return m_levelsInUserLog;
}

bool KORLoggingOptions::SetUserLogFile(const KORFile& file) {
    m_userLogFile = file;
    return true;
}

KORFile KORLoggingOptions::GetUserLogFile() const {
    return m_userLogFile;
}

bool KORLoggingOptions::SetInternalLogFile(const KORFile& file) {
    m_internalLogFile = file;
    return true;
}

KORFile KORLoggingOptions::GetInternalLogFile() const {
    return m_internalLogFile;
}
