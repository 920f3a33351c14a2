#pragma once
// The process-wide logger: an internal log that receives every message and a
// user log that receives a filtered subset. Nothing is written until
// Initialize has opened both streams.
//
// Log through KOR_LOG so that function, file and line come from the call site
// and the compiler checks the format against its arguments:
//     KOR_LOG(KOR_LOG_INFO, "Driver %s is loaded", name.c_str());

#include <atomic>
#include <cstdio>

#include "KORLock.h"
#include "KORLoggingOptions.h"
#include "KORString.h"

enum KORLogLevel {
    KOR_LOG_NONE = 0,
    KOR_LOG_FATAL = 1,
    KOR_LOG_ERROR = 2,
    KOR_LOG_WARN = 3,
    KOR_LOG_INFO = 4,
    KOR_LOG_TRACE = 5,
    KOR_LOG_DEBUG = 6
};

class KORLogger {
public:
    KORLogger() = delete;

    static bool Initialize(const KORLoggingOptions& options);
    static void Log(const KORString& function, const KORString& file, long long line, int level,
                    const char* format, ...) __attribute__((format(printf, 5, 6)));
    static bool Terminate();
    static KORLock* GetLockObject();
    // True while Log would write anything: the internal stream is open, and so
    // is the user stream unless the options show no levels in the user log.
    static bool IsActive();

private:
    static KORLoggingOptions mOptions;
    static std::atomic<FILE*> mUserLogFile;
    static std::atomic<FILE*> mInternalLogFile;
    // False when the options asked for no user log, so that the internal log
    // is written on its own.
    static std::atomic<bool> mUserLogRequired;
};

// Builds the call-site texts only when a line will really be written.
#define KOR_LOG(level, ...)                                                             \
    do {                                                                                \
        if (KORLogger::IsActive())                                                      \
            KORLogger::Log(KORString(__func__), KORString(__FILE__), __LINE__, (level), \
                           __VA_ARGS__);                                                \
    } while (0)
