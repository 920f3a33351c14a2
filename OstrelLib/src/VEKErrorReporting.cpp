#include "VEKErrorReporting.h"

#include "CVEKErrorInfo.h"
#include "KORLogger.h"
#include "SourcePathShortener.h"

namespace Exception {

namespace {

const char* const kExceptionName = "CVEKException";

}  // namespace

void RaiseWithCode(int code, const SourcePlace& place) {
    ErrorFramework::CVEKErrorInfo::GetVEKErrorInfo()->m_nErrorCode = code;
    RaiseCurrentCode(place);
}

void RaiseCurrentCode(const SourcePlace& place) {
    const char* message = ErrorFramework::CVEKErrorInfo::GetVEKErrorInfo()->GetErrorMessage(
        ErrorFramework::CVEKErrorInfo::kCurrentErrorCode);
    RaiseWithMessage(message, place);
}

void RaiseWithMessage(const std::string& message, const SourcePlace& place) {
    throw CVEKException(place.file, place.line, place.function, message, kExceptionName);
}

void PassOnBadAlloc(const std::bad_alloc& caught, const SourcePlace& place) {
    std::string message;
    bool described = true;
    try {
        message = std::string(caught.what()) + " " + ShortenSourcePath(place.file) + " " +
                  place.function + " " + std::to_string(place.line) + "\n";
    } catch (const std::bad_alloc&) {
        described = false;
    }
    if (!described)
        throw;
    throw BadAllocException(message);
}

void LogCleanupFailure(const char* what, const char* reason) noexcept {
    if (reason != nullptr)
        KOR_LOG(KOR_LOG_ERROR, "Error occurred while %s - Caught Exception (%s) ", what, reason);
    else
        KOR_LOG(KOR_LOG_ERROR, "Unknow error occurred while %s.", what);
}

}  // namespace Exception
