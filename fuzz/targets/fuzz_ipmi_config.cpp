// The transport's settings file on arbitrary "KORIPMIConfig.xml" contents:
// every setting the transport reads is either found or reported missing.
#include <cstddef>
#include <cstdint>
#include <string>

#include "InputFile.h"
#include "KORIPMIXMLConfig.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const fuzzio::InputFile input("KORIPMIConfig.xml");
    input.Write(data, size);
    KORIPMIXMLConfig configuration{KORString(input.Path())};
    if (!configuration.Initialize())
        return 0;
    for (const char* key : {"RetryCount", "PollingInterval", "PollingCount", "RetryInterval", ""}) {
        int value = 0;
        configuration.GetConfigInt(KORString(key), &value);
    }
    return 0;
}
