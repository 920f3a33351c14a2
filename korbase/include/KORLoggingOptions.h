#pragma once
// What the logger writes and where: the application name heading every line,
// the user-log threshold and the two log files.

#include "KORFile.h"
#include "KORString.h"

class KORLoggingOptions {
public:
    KORLoggingOptions();

    bool SetApplicationName(const KORString& name);
    KORString GetApplicationName() const;
    bool SetNumberOfSupportedLevels(int levels);
    int NumberOfSupportedLevels() const;
    bool SetNumberOfLevelsToShowInUserLog(int levels);
    int NumberOfLevelsToShowInUserLog() const;
    bool SetUserLogFile(const KORFile& file);
    KORFile GetUserLogFile() const;
    bool SetInternalLogFile(const KORFile& file);
    KORFile GetInternalLogFile() const;

private:
    KORString m_applicationName;
    int m_supportedLevels;
    int m_levelsInUserLog;
    KORFile m_userLogFile;
    KORFile m_internalLogFile;
};
