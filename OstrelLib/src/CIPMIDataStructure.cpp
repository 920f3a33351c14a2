#include "CIPMIDataStructure.h"

#include <climits>
#include <cstdlib>

#include "KORLogger.h"
#include "Tokenizer.h"

namespace IPMIFramework {

namespace {

const char* const kFlagSet = "1";
constexpr int kMaxFieldBytes = 4;

// A number beyond the unsigned range reads as the largest value, so that the
// length check of the loader rejects it instead of a wrapped small length
// passing.
unsigned int ReadLength(const std::string& text) {
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (value < 0 || value > static_cast<long long>(UINT_MAX))
        return UINT_MAX;
    return static_cast<unsigned int>(value);
}

}  // namespace

CIPMIDataStructure::CIPMIDataStructure()
    : m_uiReceivedLength(0),
      m_uiRequestLength(0),
      m_uiResponseLength(0),
      m_bIsSessionRequired(false),
      m_bIsStaticExecution(false) {}

void CIPMIDataStructure::SetIPMIRequestFields(const std::string& command) {
    m_vecIPMIRequest.clear();
    Tokenizer<unsigned char>(command, m_vecIPMIRequest, 16);
}

void CIPMIDataStructure::SetIPMIRequestFields(unsigned int value, int position, int size) {
    if ((size != 1 && size != 2) || !RequestFieldFits(position, size))
        return;
    m_vecIPMIRequest[position - 1] = static_cast<unsigned char>(value & 0xFF);
    if (size == 2)
        m_vecIPMIRequest[position] = static_cast<unsigned char>((value >> 8) & 0xFF);
}

void CIPMIDataStructure::SetIPMIRequestFields(const std::string& text, unsigned int count,
                                              int position) {
    if (!RequestFieldFits(position, count))
        return;
    for (unsigned int i = 0; i < count; ++i)
        m_vecIPMIRequest[position - 1 + i] =
            i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
}

void CIPMIDataStructure::SetIPMIRequestFields(int position, int count,
                                              const CIPMIDataStructure* source,
                                              int sourcePosition) {
    if (source == nullptr || count <= 0 || !RequestFieldFits(position, count))
        return;
    for (int i = 0; i < count; ++i)
        m_vecIPMIRequest[position - 1 + i] =
            source->ResponseByte(static_cast<long long>(sourcePosition) + i);
}

void CIPMIDataStructure::SetIPMIRequestLength(const std::string& text) {
    m_uiRequestLength = ReadLength(text);
}

void CIPMIDataStructure::SetIPMIResponseLength(const std::string& text) {
    m_uiResponseLength = ReadLength(text);
}

void CIPMIDataStructure::SetSessionRequired(const std::string& text) {
    m_bIsSessionRequired = text == kFlagSet;
}

void CIPMIDataStructure::SetStaticExecution(const std::string& text) {
    m_bIsStaticExecution = text == kFlagSet;
}

unsigned int CIPMIDataStructure::GetResponseField(int position, int count) const {
    if (count <= 0)
        return 0;
    if (count > kMaxFieldBytes) {
        KOR_LOG(KOR_LOG_WARN,
                "Response field of %d bytes does not fit; reading its first %d bytes.", count,
                kMaxFieldBytes);
        count = kMaxFieldBytes;
    }
    const long long end = static_cast<long long>(position) + count - 1;
    if (position < 1 || end > static_cast<long long>(m_vecIPMIResponse.size()))
        KOR_LOG(KOR_LOG_WARN,
                "Response field at position %d (%d bytes) lies beyond the %zu stored response "
                "bytes; missing bytes read as 0.",
                position, count, m_vecIPMIResponse.size());
    unsigned int value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = (value << 8) | ResponseByte(static_cast<long long>(position) + i);
    return value;
}

const char* CIPMIDataStructure::FindMalformation() const {
    // Only the first RequestLength bytes are sent, so Command may list more
    // than fit a message.
    if (m_uiRequestLength > kMaxMessageLength)
        return "RequestLength exceeds 255";
    if (m_uiRequestLength > m_vecIPMIRequest.size())
        return "RequestLength exceeds the bytes listed in Command";
    if (m_uiResponseLength > kMaxMessageLength)
        return "ResponseLength exceeds 255";
    // The session id is written into the listed bytes, whether or not they are sent.
    if (m_bIsSessionRequired && m_vecIPMIRequest.size() < kSessionIdPosition + 1)
        return "the session id positions 4 and 5 lie beyond the bytes listed in Command";
    return nullptr;
}

bool CIPMIDataStructure::RequestFieldFits(long long position, long long count) const {
    if (position >= 1 && count >= 0 &&
        position - 1 + count <= static_cast<long long>(m_vecIPMIRequest.size()))
        return true;
    KOR_LOG(KOR_LOG_ERROR,
            "Request field at position %lld (%lld bytes) lies outside the %zu request bytes; "
            "nothing written.",
            position, count, m_vecIPMIRequest.size());
    return false;
}

unsigned char CIPMIDataStructure::ResponseByte(long long position) const {
    if (position < 1 || position > static_cast<long long>(m_vecIPMIResponse.size()))
        return 0;
    return m_vecIPMIResponse[position - 1];
}

}  // namespace IPMIFramework
