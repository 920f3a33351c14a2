#pragma once
// The processor on the Linux IPMI device driver: one open handle, requests to
// the controller's system interface, answers matched by message id.

#include <optional>

#include "IIPMICommandProcessor.h"
#include "KORIPMICommandData.h"

class IPMIProcessor : public IIPMICommandProcessor {
public:
    IPMIProcessor();
    ~IPMIProcessor() override;
    IPMIProcessor(const IPMIProcessor&) = delete;
    IPMIProcessor& operator=(const IPMIProcessor&) = delete;

    int ExecuteCommand(CKORIPMICommandData& record) override;
    int Initialize() override;

    // One send and the wait for its answer; 0 or the transport failure status.
    int Process(CKORIPMICommandData& record);
    void LogIPMIResponse(CKORIPMICommandData& record);
    void Release();

    static void sleep_in_ms(unsigned long long milliseconds);

private:
    // Hands the request to the driver under the next message id and returns
    // that id, or nothing when the request cannot be sent.
    std::optional<unsigned int> SendRequest(CKORIPMICommandData& record);
    // Waits for the answer to that message id and receives it into the record;
    // 0 or the transport failure status.
    int AwaitAnswer(CKORIPMICommandData& record, unsigned int messageId);

    // -1 while no device is open.
    int m_iDeviceFd;
};
