#include "IPMIProcessor.h"

#include <fcntl.h>
#include <linux/ipmi.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include "KORIPMIStatus.h"
#include "KORLogger.h"
#include "KORSystem.h"

namespace {

// Message ids of every request of the process, across all processors. Atomic
// so that threads drawing ids at the same time do not race; equal ids would be
// harmless anyway, since each thread has its own handle.
std::atomic<unsigned int> gnMsgID{1};

const char* const kDeviceNodes[] = {"/dev/ipmi0", "/dev/ipmi/0", "/dev/ipmidev/0"};
constexpr int kOpenPasses = 5;

// The completion code sits in byte 2, the driver's data starts there.
constexpr unsigned int kCompletionCodeIndex = 2;
constexpr unsigned int kReceiveCapacity = KOR_IPMI_MAX_BUFFER_LENGTH - kCompletionCodeIndex;
constexpr unsigned char kCompletionCodeSendFailed = 0x01;
constexpr unsigned char kCompletionCodeTruncated = 0x10;
// How long one receive attempt waits for the controller's answer.
constexpr timeval kAnswerTimeout{20, 60};

// Answers that retrying cannot change; every other code is worth another try.
bool IsFinalCompletionCode(unsigned char completionCode) {
    switch (completionCode) {
        case 0x00:
        case 0x01:
        case 0x02:
        case 0x03:
        case 0x04:
        case 0x05:
        case 0x06:
        case 0x08:
        case 0x10:
        case 0xC1:
        case 0xC2:
        case 0xC7:
        case 0xC8:
        case 0xC9:
        case 0xCC:
        case 0xCE:
            return true;
        default:
            return false;
    }
}

// " 0x.." per byte, for at most a full buffer whatever the length field claims.
size_t AppendHexBytes(char* text, size_t capacity, size_t used, const unsigned char* bytes,
                      unsigned int length) {
    const unsigned int count = std::min(length, KOR_IPMI_MAX_BUFFER_LENGTH);
    for (unsigned int i = 0; i < count && used < capacity; ++i) {
        used += snprintf(text + used, capacity - used, " 0x%02x", bytes[i]);
    }
    return std::min(used, capacity);
}

size_t AppendText(char* text, size_t capacity, size_t used, const char* part) {
    used += snprintf(text + used, capacity - used, "%s", part);
    return std::min(used, capacity);
}

}  // namespace

IPMIProcessor::IPMIProcessor() : m_iDeviceFd(-1) {}

IPMIProcessor::~IPMIProcessor() {
    Release();
}

int IPMIProcessor::Initialize() {
    if (m_iDeviceFd >= 0) {
        return 0;
    }
    int status = 0;
    // The modules may have just been loaded and the node may appear late.
    for (int passesLeft = kOpenPasses; m_iDeviceFd < 0;) {
        for (const char* node : kDeviceNodes) {
            KOR_LOG(KOR_LOG_INFO, "Open IPMI device : %s", node);
            m_iDeviceFd = open(node, O_RDWR);
            if (m_iDeviceFd >= 0) {
                break;
            }
            const int error = errno;
            char errorText[128];
            KOR_LOG(KOR_LOG_ERROR, "Errno: %d, %s, open failed for device: %s", error,
                    strerror_r(error, errorText, sizeof(errorText)), node);
        }
        if (m_iDeviceFd >= 0) {
            break;
        }
        KOR_LOG(KOR_LOG_ERROR, "Can't Open any IPMI Device, retries left : %d\n", passesLeft);
        sleep_in_ms(1000);
        if (--passesLeft == 0) {
            fputs("Can't open IPMI device\n", stderr);
            status = KOR_IPMI_STATUS_TRANSPORT_FAILURE;
            break;
        }
    }
    KOR_LOG(KOR_LOG_INFO, "File Descriptor Value %d", m_iDeviceFd);
    return status;
}

int IPMIProcessor::ExecuteCommand(CKORIPMICommandData& record) {
    if (record.GetConfigurationData() == nullptr) {
        KOR_LOG(KOR_LOG_ERROR, "IPMI request carries no configuration");
        return KOR_IPMI_STATUS_TRANSPORT_FAILURE;
    }
    const unsigned int retryCount = record.GetRetryCount();
    const unsigned int retryInterval = record.GetRetryInterval();
    unsigned int retriesLeft = retryCount;
    unsigned char completionCode = 0;
    do {
        const int status = Process(record);
        if (status != 0) {
            return status;
        }
        completionCode = *record.GetResponseBufferData(kCompletionCodeIndex);
        // Process succeeds only within the retry count, so retriesLeft is at least 1 here.
        if (IsFinalCompletionCode(completionCode)) {
            retriesLeft = 0;
        } else {
            sleep_in_ms(retryInterval);
            --retriesLeft;
        }
        KOR_LOG(KOR_LOG_INFO,
                "IPMIProcessor::ExecuteCommand Got IPMI return code as %x and number of retries "
                "left are %d out of %d",
                completionCode, static_cast<int>(retriesLeft), static_cast<int>(retryCount));
        LogIPMIResponse(record);
    } while (retriesLeft != 0 && completionCode != 0);
    LogIPMIResponse(record);
    return 0;
}

int IPMIProcessor::Process(CKORIPMICommandData& record) {
    LogIPMIResponse(record);
    const std::optional<unsigned int> messageId = SendRequest(record);
    if (!messageId) {
        record.GetResponseBufferData(0)[kCompletionCodeIndex] = kCompletionCodeSendFailed;
        return KOR_IPMI_STATUS_TRANSPORT_FAILURE;
    }
    return AwaitAnswer(record, *messageId);
}

std::optional<unsigned int> IPMIProcessor::SendRequest(CKORIPMICommandData& record) {
    unsigned char* request = record.GetRequestBufferData();
    const unsigned int requestLength = record.GetRequestBufferLength();
    // Network function and command are required; the driver would read data past
    // the buffer for a length outside it.
    if (requestLength < 2 || requestLength > KOR_IPMI_MAX_BUFFER_LENGTH) {
        KOR_LOG(KOR_LOG_ERROR, "IPMI request length %u is outside 2 to %u", requestLength,
                KOR_IPMI_MAX_BUFFER_LENGTH);
        return std::nullopt;
    }
    // select cannot watch a descriptor beyond its fixed set.
    if (m_iDeviceFd < 0 || m_iDeviceFd >= FD_SETSIZE) {
        KOR_LOG(KOR_LOG_ERROR, "IPMI device descriptor %d cannot be used", m_iDeviceFd);
        return std::nullopt;
    }

    ipmi_system_interface_addr address{};
    address.addr_type = IPMI_SYSTEM_INTERFACE_ADDR_TYPE;
    address.channel = IPMI_BMC_CHANNEL;
    address.lun = 0;
    const unsigned int messageId = gnMsgID.fetch_add(1);
    ipmi_req sendRequest{};
    sendRequest.addr = reinterpret_cast<unsigned char*>(&address);
    sendRequest.addr_len = sizeof(address);
    sendRequest.msgid = messageId;
    sendRequest.msg.netfn = request[0];
    sendRequest.msg.cmd = request[1];
    sendRequest.msg.data_len = static_cast<unsigned short>(requestLength - 2);
    sendRequest.msg.data = request + 2;
    if (ioctl(m_iDeviceFd, IPMICTL_SEND_COMMAND, &sendRequest) < 0) {
        return std::nullopt;
    }
    return messageId;
}

int IPMIProcessor::AwaitAnswer(CKORIPMICommandData& record, unsigned int messageId) {
    unsigned char* response = record.GetResponseBufferData(0);
    const unsigned int retryCount = record.GetRetryCount();
    const unsigned int retryInterval = record.GetRetryInterval();
    for (unsigned int attempt = 1; attempt <= retryCount; ++attempt) {
        fd_set readSet;
        FD_ZERO(&readSet);
        FD_SET(m_iDeviceFd, &readSet);
        timeval timeout = kAnswerTimeout;
        const int ready = select(m_iDeviceFd + 1, &readSet, nullptr, nullptr, &timeout);
        if (ready <= 0) {
            KOR_LOG(KOR_LOG_ERROR,
                    "IPMI Driver Not available for Receiving IPMI Command response for  %d "
                    "time\n",
                    static_cast<int>(attempt));
            sleep_in_ms(retryInterval);
            continue;
        }
        if (!FD_ISSET(m_iDeviceFd, &readSet)) {
            continue;
        }

        unsigned char sourceAddress[sizeof(ipmi_system_interface_addr)];
        ipmi_recv received{};
        received.addr = sourceAddress;
        received.addr_len = sizeof(sourceAddress);
        received.msg.data = response + kCompletionCodeIndex;
        received.msg.data_len = kReceiveCapacity;
        if (ioctl(m_iDeviceFd, IPMICTL_RECEIVE_MSG_TRUNC, &received) < 0) {
            const int error = errno;
            if (error == EMSGSIZE) {
                // The answer was cut to the capacity: report it, retrying gives the same.
                response[0] = received.msg.netfn;
                response[1] = received.msg.cmd;
                response[kCompletionCodeIndex] = kCompletionCodeTruncated;
                KOR_LOG(KOR_LOG_ERROR,
                        "Overurn of data and Error in ioctl IPMICTL_RECEIVE_MSG_TRUNC and last "
                        "error is %d: \n",
                        error);
                return KOR_IPMI_STATUS_TRANSPORT_FAILURE;
            }
            KOR_LOG(KOR_LOG_ERROR,
                    "Error in ioctl IPMICTL_RECEIVE_MSG_TRUNC and last error is %d:", error);
            sleep_in_ms(retryInterval);
            continue;
        }
        if (received.msgid == static_cast<long>(messageId)) {
            response[0] = received.msg.netfn;
            response[1] = received.msg.cmd;
            const unsigned int dataLength =
                std::min<unsigned int>(received.msg.data_len, kReceiveCapacity);
            record.SetResponseBufferLength(dataLength + kCompletionCodeIndex);
            return 0;
        }
        // Only a late answer to an earlier request of this thread can carry another id.
        KOR_LOG(KOR_LOG_WARN, "Mismatch in message id for id number %d",
                static_cast<int>(messageId));
    }
    return KOR_IPMI_STATUS_TRANSPORT_FAILURE;
}

void IPMIProcessor::LogIPMIResponse(CKORIPMICommandData& record) {
    if (!KORLogger::IsActive()) {
        return;
    }
    // Both buffers in full fit: 2 * 255 * " 0xNN" plus the labels.
    char text[2 * KOR_IPMI_MAX_BUFFER_LENGTH * 5 + 64];
    size_t used = AppendText(text, sizeof(text), 0, "\nIPMI Request : ");
    used = AppendHexBytes(text, sizeof(text), used, record.GetRequestBufferData(),
                          record.GetRequestBufferLength());
    used = AppendText(text, sizeof(text), used, "      IPMI Response :  ");
    used = AppendHexBytes(text, sizeof(text), used, record.GetResponseBufferData(0),
                          record.GetResponseBufferLength());
    AppendText(text, sizeof(text), used, "\n");
    KOR_LOG(KOR_LOG_INFO, "%s", text);
}

void IPMIProcessor::Release() {
    if (m_iDeviceFd >= 0) {
        close(m_iDeviceFd);
        m_iDeviceFd = -1;
    }
}

void IPMIProcessor::sleep_in_ms(unsigned long long milliseconds) {
    KORSystem::SleepMilliseconds(milliseconds);
}
