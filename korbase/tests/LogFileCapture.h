#pragma once
// Test helper: points KORLogger at files in a fresh directory under /tmp for
// the helper's lifetime, so a test can read back the lines it caused.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "KORFile.h"
#include "KORLogger.h"
#include "KORLoggingOptions.h"

// Points the logger at user.log and internal.log in directory, configured as
// the library configures itself (5 levels, 5 shown in the user log).
inline void StartLoggingInto(const std::string& directory, const char* applicationName) {
    KORLoggingOptions options;
    options.SetApplicationName(KORString(applicationName));
    options.SetNumberOfSupportedLevels(5);
    options.SetNumberOfLevelsToShowInUserLog(5);
    options.SetUserLogFile(KORFile(KORString(directory + "/user.log")));
    options.SetInternalLogFile(KORFile(KORString(directory + "/internal.log")));
    KORLogger::Initialize(options);
}

class LogFileCapture {
public:
    LogFileCapture() {
        char pattern[] = "/tmp/kor-log-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        m_directory = pattern;
        StartLoggingInto(m_directory, "LogFileCapture");
    }
    ~LogFileCapture() {
        KORLogger::Terminate();
        std::error_code ignored;
        std::filesystem::remove_all(m_directory, ignored);
    }
    LogFileCapture(const LogFileCapture&) = delete;
    LogFileCapture& operator=(const LogFileCapture&) = delete;

    // Stops logging (which flushes the files) and returns the internal log.
    std::string Finish() {
        KORLogger::Terminate();
        std::ifstream file(m_directory + "/internal.log");
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }

    static int CountOf(const std::string& text, const std::string& needle) {
        int count = 0;
        for (std::size_t at = text.find(needle); at != std::string::npos;
             at = text.find(needle, at + needle.size()))
            ++count;
        return count;
    }

private:
    std::string m_directory;
};
