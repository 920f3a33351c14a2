// The transport's settings file on arbitrary "KORIPMIConfig.xml" contents:
// every setting the transport reads is either found or reported missing.
#include <kortest/TemporaryDirectory.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "KORIPMIXMLConfig.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const kortest::TemporaryDirectory directory;
    const std::string path = directory.Write(
        "KORIPMIConfig.xml", std::string(reinterpret_cast<const char*>(data), size));
    KORIPMIXMLConfig configuration{KORString(path)};
    if (!configuration.Initialize())
        return 0;
    for (const char* key : {"RetryCount", "PollingInterval", "PollingCount", "RetryInterval", ""}) {
        int value = 0;
        configuration.GetConfigInt(KORString(key), &value);
    }
    return 0;
}
