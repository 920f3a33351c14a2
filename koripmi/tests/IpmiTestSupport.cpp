#include "IpmiTestSupport.h"

#include <algorithm>
#include <cstring>

#include "KORIPMISession.h"
#include "simmachine/SimMachine.h"

namespace ipmitest {

const std::vector<uint8_t> kOrinStatus = {0x30, 0xA1, 0x01};

_KORIPMICommandData MakeBlock(const std::vector<uint8_t>& request,
                              _KORIPMIConfiguration* configuration) {
    _KORIPMICommandData block;
    memset(&block, 0, sizeof(block));
    block.pConfiguration = configuration;
    block.uiRequestLength = static_cast<unsigned int>(request.size());
    std::copy(request.begin(), request.end(), block.ucRequestBuffer);
    return block;
}

_KORIPMIConfiguration MakeConfiguration(unsigned int retryCount, unsigned int retryInterval) {
    _KORIPMIConfiguration configuration{};
    configuration.uiPollInterval = 60;
    configuration.uiPollCount = 5;
    configuration.uiRetryCount = retryCount;
    configuration.uiRetryInterval = retryInterval;
    return configuration;
}

size_t CountOpens(bool succeeded) {
    size_t count = 0;
    for (const sim::Event& open : sim::TraceOf("ipmi_open")) {
        count += open.fields.at("ok") == (succeeded ? "1" : "0") ? 1 : 0;
    }
    return count;
}

size_t CountSleeps(uint64_t milliseconds) {
    const std::vector<uint64_t> sleeps = sim::SleepsMs();
    return static_cast<size_t>(std::count(sleeps.begin(), sleeps.end(), milliseconds));
}

void ResetSettingsFile() {
    KORIPMISession::mIPMIXMLConfig.Release();
    KORIPMISession::mIPMIXMLConfig.SetConfigurationFileName(KORString("KORIPMIConfig.xml"));
}

}  // namespace ipmitest
