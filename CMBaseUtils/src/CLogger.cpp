#include "CLogger.h"

#include <ctime>
#include <iomanip>

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
    // An open failure leaves the stream in its failed state and the logger off.
    m_stream.open(m_strFileName, std::ios::out | std::ios::trunc);
    m_bInitialized = m_stream.is_open();
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

    m_stream.seekp(0, std::ios::end);
    m_stream << timeText << ": " << std::setw(25) << getFileName(file) << ":" << std::setw(5)
             << line << ": " << message << std::endl;
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
