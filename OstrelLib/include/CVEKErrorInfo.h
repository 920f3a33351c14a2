#pragma once
// The process-wide error catalogue: the current error code of the update and
// the message of every code, read once from "ErrorCodes.xml" in the working
// directory. Not synchronised: used by one update at a time, on the host's
// calling thread.

#include <map>
#include <string>

namespace ErrorFramework {

class CVEKErrorInfo {
public:
    // Stands for the current error code in GetErrorMessage.
    static constexpr int kCurrentErrorCode = 9999;

    // Creates the catalogue on first use. A failed creation leaves no
    // instance behind, so the next call reads the file again.
    static CVEKErrorInfo* GetVEKErrorInfo();
    // Deletes the catalogue; the next GetVEKErrorInfo creates a fresh one, so
    // a released instance is never handed out again.
    static void ReleaseVEKErrorInfo();

    // The message of the code (kCurrentErrorCode: of the current code), or ""
    // when the file has none. Valid while the catalogue lives.
    const char* GetErrorMessage(int code) const;
    // The message of the code as "ErrorCodes.xml" gives it, read into a
    // catalogue of the caller's own, so that neither the shared instance nor
    // its current code is touched: for an update refused while another one,
    // maybe on another thread, uses them. "" when the file cannot be read.
    static std::string ReadErrorMessage(int code);

    // Written directly by the code that fails.
    int m_nErrorCode;

private:
    CVEKErrorInfo();
    ~CVEKErrorInfo();
    CVEKErrorInfo(const CVEKErrorInfo&) = delete;
    CVEKErrorInfo& operator=(const CVEKErrorInfo&) = delete;

    static CVEKErrorInfo* m_pVEKErrorInfo;
    std::map<int, std::string> m_mapErrorMessages;
};

}  // namespace ErrorFramework
