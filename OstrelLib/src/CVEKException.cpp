#include "CVEKException.h"

#include "SourcePathShortener.h"

namespace Exception {

CVEKException::CVEKException(const std::string& file, long line, const std::string& function,
                             const std::string& message, const std::string& exceptionName)
    : m_strText(exceptionName + " - [" + message + FormatFrame(file, line, function)) {}

CVEKException::~CVEKException() = default;

void CVEKException::AddStackTrace(const std::string& file, long line, const std::string& function) {
    m_strText += FormatFrame(file, line, function);
}

const char* CVEKException::what() const noexcept {
    return m_strText.c_str();
}

std::string CVEKException::FormatFrame(const std::string& file, long line,
                                       const std::string& function) {
    return "]\n\t at " + function + "(" + ShortenSourcePath(file) + ":" + std::to_string(line) +
           ")";
}

}  // namespace Exception
