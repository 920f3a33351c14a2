#include "CLogger.h"

#include <ctime>

#include "KORLogFile.h"

const std::string CLogger::strEnableLogFileName = "vekdebuglog";
const std::string CLogger::strBaseUtilsLogFileName = "baseutils.log";

CLogger* CLogger::m_ptrInstance = nullptr;

CLogger::CLogger() : m_strFileName("debug.log"), m_bInitialized(false) {}

CLogger* CLogger::GetInstance() {
    if (m_ptrInstance == nullptr) {
        m_ptrInstance = new CLogger();
    }
    return m_ptrInstance;
}

bool CLogger::Initialize(const std::string& path) {
    if (m_bInitialized) {
        return true;
    }
    m_strFileName = path;
    // An open failure (or something other than a regular file in the log's
    // place) leaves the logger off.
    m_stream.reset(KOROpenLogFile(m_strFileName, false));
    m_bInitialized = static_cast<bool>(m_stream);
    return false;
}

void CLogger::log(const char* file, unsigned line, const std::string& message) {
    if (!m_bInitialized) {
        return;
    }
    char timeText[80] = {};
    const std::time_t now = std::time(nullptr);
    std::tm local = {};
    localtime_r(&now, &local);
    std::strftime(timeText, sizeof timeText, "[%Y-%m-%dT%H:%M:%S] ", &local);

    std::fseek(m_stream.get(), 0, SEEK_END);
    std::fprintf(m_stream.get(), "%s: %25s:%5u: %s\n", timeText, getFileName(file).c_str(), line,
                 message.c_str());
    std::fflush(m_stream.get());
}

void CLogger::log(const char* file, unsigned line, std::ostringstream& message) {
    log(file, line, message.str());
    // Emptied even while logging is off, so that a caller reusing the stream
    // does not pile up text that is never written.
    message.str("");
    message.clear();
}

std::string CLogger::getFileName(const std::string& path) {
    const std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
