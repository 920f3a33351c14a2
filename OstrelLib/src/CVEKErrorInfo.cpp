#include "CVEKErrorInfo.h"

#include <climits>
#include <cstdlib>
#include <exception>

#include "CLibXMLWrapper.h"
#include "KORLogger.h"
#include "VEKErrorReporting.h"

namespace ErrorFramework {

namespace {

const char* const kErrorCodesFile = "ErrorCodes.xml";

}  // namespace

CVEKErrorInfo* CVEKErrorInfo::m_pVEKErrorInfo = nullptr;

CVEKErrorInfo* CVEKErrorInfo::GetVEKErrorInfo() {
    VEK_TRY {
        if (m_pVEKErrorInfo == nullptr)
            m_pVEKErrorInfo = new CVEKErrorInfo();
        return m_pVEKErrorInfo;
    }
    VEK_PASS_ON;
}

void CVEKErrorInfo::ReleaseVEKErrorInfo() {
    delete m_pVEKErrorInfo;
    m_pVEKErrorInfo = nullptr;
}

std::string CVEKErrorInfo::ReadErrorMessage(int code) {
    try {
        const CVEKErrorInfo own;
        return own.GetErrorMessage(code);
    } catch (const std::exception& error) {
        KOR_LOG(KOR_LOG_ERROR, "Error occurred while reading the error catalogue (%s) ",
                error.what());
    }
    return "";
}

CVEKErrorInfo::CVEKErrorInfo() : m_nErrorCode(0) {
    VEK_TRY {
        KOR_LOG(KOR_LOG_DEBUG, "CVEKErrorInfo::CVEKErrorInfo() Entering");
        CLibXMLWrapper reader{KORString(kErrorCodesFile)};
        if (!reader.Open())
            VEK_RAISE_WITH_MESSAGE(
                "Error occurred during opening and parsing error code XML file.");
        if (!reader.ReadRootNode("ErrorCodes"))
            VEK_RAISE_WITH_MESSAGE("Error occurred during parsing root node for file");
        if (!reader.ReadChildNode())
            VEK_RAISE_WITH_MESSAGE("Error occurred during parsing child node for file.");
        while (!reader.IsChildNodeNull()) {
            if (!reader.ExistChildNode("ErrorCode")) {
                reader.GetNextChildNode();
                continue;
            }
            std::string codeText;
            std::string message;
            reader.GetChildAttribute("CodeNo", codeText);
            reader.GetChildAttribute("Discription", message);
            reader.GetNextChildNode();
            const long code = std::strtol(codeText.c_str(), nullptr, 10);
            // A number beyond int would be cut into some other code's number.
            if (code < INT_MIN || code > INT_MAX) {
                KOR_LOG(KOR_LOG_DEBUG, "Ignoring error code (%s) out of range.", codeText.c_str());
                continue;
            }
            // emplace keeps the first message of a code that occurs twice.
            m_mapErrorMessages.emplace(static_cast<int>(code), message);
        }
        KOR_LOG(KOR_LOG_DEBUG, "CVEKErrorInfo::CVEKErrorInfo() Leaving");
    }
    VEK_PASS_ON;
}

CVEKErrorInfo::~CVEKErrorInfo() = default;

const char* CVEKErrorInfo::GetErrorMessage(int code) const {
    const int lookedUp = code == kCurrentErrorCode ? m_nErrorCode : code;
    const auto found = m_mapErrorMessages.find(lookedUp);
    if (found == m_mapErrorMessages.end()) {
        KOR_LOG(KOR_LOG_DEBUG, "Could not able to find message for error code as %d.", lookedUp);
        return "";
    }
    return found->second.c_str();
}

}  // namespace ErrorFramework
