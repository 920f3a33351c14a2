#pragma once
// One IPMI request and its response as they travel through the transport: the
// caller's plain block, its retry settings, and the class that wraps the block
// for the duration of one request.

// Capacity of the request and of the response buffer.
constexpr unsigned int KOR_IPMI_MAX_BUFFER_LENGTH = 255;
// Polling byte value meaning that no polling is wanted.
constexpr unsigned int KOR_IPMI_NO_POLLING = 0xFFFFFFFFu;

// Retry and polling settings of one request. Field order is fixed: callers
// fill it by position.
struct _KORIPMIConfiguration {
    unsigned int uiPollInterval;
    unsigned int uiPollCount;
    // How many times a request is sent, and how many times its answer is awaited.
    unsigned int uiRetryCount;
    // Milliseconds slept between retries.
    unsigned int uiRetryInterval;
    // Index of a response byte to poll on, KOR_IPMI_NO_POLLING for none.
    unsigned int uiPollingByte;
    unsigned char ucPollingStatus;
};

// Request and response of one IPMI command. Field order is fixed.
//  Request:  [0] network function (no LUN bits), [1] command, [2..] data.
//  Response: [0] network function, [1] command, [2] completion code, [3..] data.
struct _KORIPMICommandData {
    // Not owned; may stay null until the session attaches its own.
    _KORIPMIConfiguration* pConfiguration;
    unsigned int uiRequestLength;
    unsigned int uiResponseLength;
    unsigned char ucRequestBuffer[KOR_IPMI_MAX_BUFFER_LENGTH];
    unsigned char ucResponseBuffer[KOR_IPMI_MAX_BUFFER_LENGTH];
};

// Typed access to a caller's block; owns nothing. The configuration accessors
// follow the block's configuration pointer unchecked: attach one first.
class CKORIPMICommandData {
public:
    // Clears the response buffer and the configuration's polling fields.
    explicit CKORIPMICommandData(_KORIPMICommandData* commandData);
    virtual ~CKORIPMICommandData();

    _KORIPMIConfiguration* GetConfigurationData() const;
    void SetConfigurationData(_KORIPMIConfiguration* configuration);

    unsigned int GetPollInterval() const;
    void SetPollInterval(unsigned int pollInterval);
    unsigned int GetPollCount() const;
    void SetPollCount(unsigned int pollCount);
    unsigned int GetRetryCount() const;
    void SetRetryCount(unsigned int retryCount);
    unsigned int GetRetryInterval() const;
    void SetRetryInterval(unsigned int retryInterval);
    unsigned int GetPollingByte() const;
    unsigned char GetPollingStatus() const;
    void SetPollingByteStatus(unsigned int pollingByte, unsigned char pollingStatus);
    bool IsPollingRequired() const;

    unsigned char* GetRequestBufferData() const;
    unsigned int GetRequestBufferLength() const;
    // Refuses (logs, changes nothing) a length above the buffer capacity.
    void SetRequestBufferData(const unsigned char* source, unsigned int length);

    // Null for an index outside the buffer.
    unsigned char* GetResponseBufferData(unsigned int index) const;
    unsigned int GetResponseBufferLength() const;
    void SetResponseBufferLength(unsigned int length);
    // Refuses (logs, changes nothing) a length above the buffer capacity.
    void SetResponseBufferData(const unsigned char* source, unsigned int length);

private:
    _KORIPMICommandData* m_pCommandData;
};
