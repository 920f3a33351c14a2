// The error catalogue on arbitrary "ErrorCodes.xml" contents: it loads or
// throws its own exception, and a loaded one answers every code.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "CVEKErrorInfo.h"
#include "CVEKException.h"
#include "InputFile.h"

using ErrorFramework::CVEKErrorInfo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The catalogue reads its file from the working directory.
    static const fuzzio::InputFile input("ErrorCodes.xml");
    static const int entered = chdir(input.Directory().c_str());
    if (entered != 0)
        __builtin_trap();
    input.Write(data, size);
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
