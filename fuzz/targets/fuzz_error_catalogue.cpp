// The error catalogue on arbitrary "ErrorCodes.xml" contents: it loads or
// throws its own exception, and a loaded one answers every code.
#include <kortest/TemporaryDirectory.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "CVEKErrorInfo.h"
#include "CVEKException.h"

using ErrorFramework::CVEKErrorInfo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static kortest::TemporaryDirectory directory;
    static const bool entered = (directory.Enter(), true);
    (void)entered;
    directory.Write("ErrorCodes.xml", std::string(reinterpret_cast<const char*>(data), size));
    CVEKErrorInfo::ReleaseVEKErrorInfo();
    try {
        CVEKErrorInfo* catalogue = CVEKErrorInfo::GetVEKErrorInfo();
        for (int code : {0, 1, 28, 76, -1, CVEKErrorInfo::kCurrentErrorCode})
            catalogue->GetErrorMessage(code);
    } catch (const Exception::CVEKException&) {
        // A file that is no catalogue is refused this way.
    }
    return 0;
}
