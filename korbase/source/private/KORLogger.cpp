#include "KORLogger.h"

#include <cstdarg>
#include <cstring>
#include <new>
#include <string>

#include "KORFile.h"
#include "KORLogFile.h"
#include "KORTime.h"

KORLoggingOptions KORLogger::mOptions;
std::atomic<FILE*> KORLogger::mUserLogFile(nullptr);
std::atomic<FILE*> KORLogger::mInternalLogFile(nullptr);
std::atomic<bool> KORLogger::mUserLogRequired(true);

namespace {

const char* const kLevelNames[] = {"NONE", "FATAL", "ERROR", "WARN", "INFO", "TRACE", "DEBUG"};

const int kTraceLevel = KOR_LOG_TRACE;

const char* LevelName(int level) {
    if (level < 0 || level >= static_cast<int>(sizeof(kLevelNames) / sizeof(kLevelNames[0]))) {
        return "?";
    }
    return kLevelNames[level];
}

// Runs with the logger lock held, so it must not log itself.
FILE* OpenLogFile(const KORFile& file) {
    std::string path = file.GetPath().GetUTF8String();
    FILE* stream = KOROpenLogFile(path, file.Exists());
    if (stream == nullptr) {
        std::fprintf(stderr, "Error in %s opening user log file: %s\n", "Initialize", path.c_str());
    }
    return stream;
}

// The newline is decided by the format, not by the formatted text.
__attribute__((format(printf, 2, 0))) void WriteMessage(FILE* stream, const char* format,
                                                        va_list arguments) {
    size_t length = std::strlen(format);
    std::vfprintf(stream, format, arguments);
    if (length == 0 || format[length - 1] != '\n') {
        std::fputc('\n', stream);
    }
}

}  // namespace

bool KORLogger::Initialize(const KORLoggingOptions& options) {
    bool opened = true;
    KORLock* lock = GetLockObject();
    if (mInternalLogFile.load() == nullptr) {
        KORLockGuard guard(*lock);
        if (mInternalLogFile.load() == nullptr) {
            FILE* stream = OpenLogFile(options.GetInternalLogFile());
            opened = stream != nullptr;
            mInternalLogFile.store(stream);
        }
    }
    if (mUserLogFile.load() == nullptr) {
        KORLockGuard guard(*lock);
        if (mUserLogFile.load() == nullptr) {
            bool required = options.NumberOfLevelsToShowInUserLog() != 0;
            if (required) {
                FILE* stream = OpenLogFile(options.GetUserLogFile());
                opened = opened && stream != nullptr;
                mUserLogFile.store(stream);
            }
            mUserLogRequired.store(required);
        }
    }
    // Log reads the options under the lock; replacing them outside it could
    // free a name while a line is being written.
    KORLockGuard guard(*lock);
    mOptions = options;
    return opened;
}

void KORLogger::Log(const KORString& function, const KORString& file, long long line, int level,
                    const char* format, ...) {
    if (!IsActive() || format == nullptr) {
        return;
    }
    KORLockGuard guard(*GetLockObject());
    // Terminate may have closed the streams since the unlocked check.
    FILE* internal = mInternalLogFile.load();
    FILE* user = mUserLogFile.load();
    if (internal == nullptr || (user == nullptr && mUserLogRequired.load())) {
        return;
    }

    KORTime now(KORTime::CurrentTime());
    KORString date;
    KORString time;
    now.DateToString(date, true);
    now.TimeToString(time);
    std::string application = mOptions.GetApplicationName().GetUTF8String();
    std::string dateText = date.GetUTF8String();
    std::string timeText = time.GetUTF8String();
    std::string functionText = function.GetUTF8String();
    std::string fileText = file.GetUTF8String();
    const char* levelName = LevelName(level);

    va_list arguments;
    va_start(arguments, format);
    std::fprintf(internal, "%s %-5s : %s %s %-40s() %-30s:%3d ", application.c_str(), levelName,
                 dateText.c_str(), timeText.c_str(), functionText.c_str(), fileText.c_str(),
                 static_cast<int>(line));
    va_list userArguments;
    va_copy(userArguments, arguments);
    WriteMessage(internal, format, arguments);

    int threshold = mOptions.NumberOfLevelsToShowInUserLog();
    bool toUser = user != nullptr && threshold != 0 && level <= threshold;
    if (toUser && threshold == kTraceLevel) {
        // A TRACE threshold lets only TRACE lines through, and those go to
        // standard error from then on.
        toUser = level == kTraceLevel;
        if (toUser && user != stderr) {
            std::fclose(user);
            user = stderr;
            mUserLogFile.store(user);
        }
    } else if (toUser) {
        toUser = level != kTraceLevel;
    }
    if (toUser) {
        std::fprintf(user, "%s %-5s : %s %s %-40s() %-30s:%d ", application.c_str(), levelName,
                     dateText.c_str(), timeText.c_str(), functionText.c_str(), fileText.c_str(),
                     static_cast<int>(line));
        WriteMessage(user, format, userArguments);
    }
    va_end(userArguments);
    va_end(arguments);
}

bool KORLogger::Terminate() {
    KORLockGuard guard(*GetLockObject());
    FILE* user = mUserLogFile.exchange(nullptr);
    if (user != nullptr && user != stderr) {
        std::fclose(user);
    }
    FILE* internal = mInternalLogFile.exchange(nullptr);
    if (internal != nullptr) {
        std::fclose(internal);
    }
    return true;
}

KORLock* KORLogger::GetLockObject() {
    // Never destroyed: another static's destructor may still log at process exit.
    return &KORProcessLock<KORLogger>();
}

bool KORLogger::IsActive() {
    return mInternalLogFile.load() != nullptr &&
           (mUserLogFile.load() != nullptr || !mUserLogRequired.load());
}
