#include "KORIPMICommandData.h"

#include <cstring>

#include "KORLogger.h"

CKORIPMICommandData::CKORIPMICommandData(_KORIPMICommandData* commandData)
    : m_pCommandData(commandData) {
    if (m_pCommandData == nullptr) {
        return;
    }
    // A stale answer must never be read as this request's answer.
    memset(m_pCommandData->ucResponseBuffer, 0, sizeof(m_pCommandData->ucResponseBuffer));
    if (m_pCommandData->pConfiguration != nullptr) {
        m_pCommandData->pConfiguration->uiPollingByte = 0;
        m_pCommandData->pConfiguration->ucPollingStatus = 0;
    }
}

CKORIPMICommandData::~CKORIPMICommandData() {
    KOR_LOG(KOR_LOG_DEBUG, "Entering");
    KOR_LOG(KOR_LOG_DEBUG, "Leaving");
}

_KORIPMIConfiguration* CKORIPMICommandData::GetConfigurationData() const {
    return m_pCommandData->pConfiguration;
}

void CKORIPMICommandData::SetConfigurationData(_KORIPMIConfiguration* configuration) {
    m_pCommandData->pConfiguration = configuration;
}

unsigned int CKORIPMICommandData::GetPollInterval() const {
    return m_pCommandData->pConfiguration->uiPollInterval;
}

void CKORIPMICommandData::SetPollInterval(unsigned int pollInterval) {
    m_pCommandData->pConfiguration->uiPollInterval = pollInterval;
}

unsigned int CKORIPMICommandData::GetPollCount() const {
    return m_pCommandData->pConfiguration->uiPollCount;
}

void CKORIPMICommandData::SetPollCount(unsigned int pollCount) {
    m_pCommandData->pConfiguration->uiPollCount = pollCount;
}

unsigned int CKORIPMICommandData::GetRetryCount() const {
    return m_pCommandData->pConfiguration->uiRetryCount;
}

void CKORIPMICommandData::SetRetryCount(unsigned int retryCount) {
    m_pCommandData->pConfiguration->uiRetryCount = retryCount;
}

unsigned int CKORIPMICommandData::GetRetryInterval() const {
    return m_pCommandData->pConfiguration->uiRetryInterval;
}

void CKORIPMICommandData::SetRetryInterval(unsigned int retryInterval) {
    m_pCommandData->pConfiguration->uiRetryInterval = retryInterval;
}

unsigned int CKORIPMICommandData::GetPollingByte() const {
    return m_pCommandData->pConfiguration->uiPollingByte;
}

unsigned char CKORIPMICommandData::GetPollingStatus() const {
    return m_pCommandData->pConfiguration->ucPollingStatus;
}

void CKORIPMICommandData::SetPollingByteStatus(unsigned int pollingByte,
                                               unsigned char pollingStatus) {
    m_pCommandData->pConfiguration->uiPollingByte = pollingByte;
    m_pCommandData->pConfiguration->ucPollingStatus = pollingStatus;
}

bool CKORIPMICommandData::IsPollingRequired() const {
    if (GetPollingByte() != KOR_IPMI_NO_POLLING) {
        KOR_LOG(KOR_LOG_INFO, " CKORIPMICommandData::IsPollingRequired(), Polling is required ");
        return true;
    }
    KOR_LOG(KOR_LOG_INFO, " CKORIPMICommandData::IsPollingRequired(), Polling is not required ");
    return false;
}

unsigned char* CKORIPMICommandData::GetRequestBufferData() const {
    return m_pCommandData->ucRequestBuffer;
}

unsigned int CKORIPMICommandData::GetRequestBufferLength() const {
    return m_pCommandData->uiRequestLength;
}

void CKORIPMICommandData::SetRequestBufferData(const unsigned char* source, unsigned int length) {
    if (length > KOR_IPMI_MAX_BUFFER_LENGTH) {
        KOR_LOG(KOR_LOG_INFO,
                "CKORIPMICommandData::SetRequestBufferData(), Requested Buffer length is greater "
                "than Maximum Request length");
        return;
    }
    m_pCommandData->uiRequestLength = length;
    if (source != nullptr) {
        memcpy(m_pCommandData->ucRequestBuffer, source, length);
    }
}

unsigned char* CKORIPMICommandData::GetResponseBufferData(unsigned int index) const {
    if (index >= KOR_IPMI_MAX_BUFFER_LENGTH) {
        KOR_LOG(KOR_LOG_ERROR, "Response byte index %u is outside the response buffer", index);
        return nullptr;
    }
    return m_pCommandData->ucResponseBuffer + index;
}

unsigned int CKORIPMICommandData::GetResponseBufferLength() const {
    return m_pCommandData->uiResponseLength;
}

void CKORIPMICommandData::SetResponseBufferLength(unsigned int length) {
    m_pCommandData->uiResponseLength = length;
}

void CKORIPMICommandData::SetResponseBufferData(const unsigned char* source, unsigned int length) {
    if (length > KOR_IPMI_MAX_BUFFER_LENGTH) {
        KOR_LOG(KOR_LOG_INFO,
                "CKORIPMICommandData::SetResponseBufferData(), Response length is greater than "
                "Maximum Buffer length");
        return;
    }
    m_pCommandData->uiResponseLength = length;
    if (source != nullptr) {
        memcpy(m_pCommandData->ucResponseBuffer, source, length);
    }
}
