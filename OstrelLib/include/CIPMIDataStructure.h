#pragma once
// One named command of the catalogue: the request bytes read from
// "ipmi_cmd.ini" with the fields callers filled in, and the response bytes of
// its last execution. Positions are 1-based over the whole message: 1 the
// network function, 2 the command, 3 the first request data byte or the
// response's completion code.
//
// Field operations never reach past the bytes the entry holds: a request
// field that does not fit is not written at all, and response bytes beyond
// the stored ones read as 0. Both are logged, since either means the
// catalogue file and its callers disagree.
//
// The stored response is as long as ResponseLength says, whatever the
// controller sent; m_uiReceivedLength says how many of its bytes came from
// the controller, the rest being zero fill.

#include <string>
#include <vector>

namespace IPMIFramework {

class CIPMIDataStructure {
public:
    // The transport's request and response buffers hold this many bytes.
    static constexpr unsigned int kMaxMessageLength = 255;
    // Where session-bound commands carry the session id (2 bytes).
    static constexpr int kSessionIdPosition = 4;

    CIPMIDataStructure();

    // Replaces the request bytes by the Command value, one byte per
    // hexadecimal token.
    void SetIPMIRequestFields(const std::string& command);
    // Size 1 writes the low byte of value at position; size 2 also the next
    // byte at position + 1 (little-endian); any other size writes nothing.
    void SetIPMIRequestFields(unsigned int value, int position, int size);
    // Writes count bytes from position on: those of text, then 0 beyond its end.
    void SetIPMIRequestFields(const std::string& text, unsigned int count, int position);
    // Copies count bytes of source's stored response from sourcePosition on
    // into the request from position on.
    void SetIPMIRequestFields(int position, int count, const CIPMIDataStructure* source,
                              int sourcePosition);
    void SetIPMIRequestLength(const std::string& text);
    void SetIPMIResponseLength(const std::string& text);
    void SetSessionRequired(const std::string& text);
    void SetStaticExecution(const std::string& text);

    // count bytes of the stored response from position on, the first one the
    // least significant; 0 for a count of 0 or less. Only 4 bytes fit the
    // result, so a larger count reads the first 4.
    unsigned int GetResponseField(int position, int count) const;

    // Why the entry cannot be sent as the file describes it, or null when it can.
    const char* FindMalformation() const;

    std::vector<unsigned char> m_vecIPMIRequest;
    std::vector<unsigned char> m_vecIPMIResponse;
    unsigned int m_uiReceivedLength;
    unsigned int m_uiRequestLength;
    unsigned int m_uiResponseLength;
    bool m_bIsSessionRequired;
    bool m_bIsStaticExecution;

private:
    // True when the request holds count bytes from position on; logs otherwise.
    bool RequestFieldFits(long long position, long long count) const;
    // The stored response byte at position, 0 outside the stored bytes.
    unsigned char ResponseByte(long long position) const;
};

}  // namespace IPMIFramework
