#pragma once
// The update library's failure: a text naming the failure and every function
// it passed through on its way up, one "\n\t at function(file:line)" frame each.

#include <exception>
#include <string>

namespace Exception {

class CVEKException : public std::exception {
public:
    CVEKException(const std::string& file, long line, const std::string& function,
                  const std::string& message, const std::string& exceptionName);
    ~CVEKException() override;

    void AddStackTrace(const std::string& file, long line, const std::string& function);
    const char* what() const noexcept override;

private:
    static std::string FormatFrame(const std::string& file, long line, const std::string& function);

    std::string m_strText;
};

}  // namespace Exception
