#pragma once
// The external BMC serial protocol a virtual machine's IPMI interface speaks
// over a socket: messages end with 0xA0 (requests and answers) or 0xA1
// (control messages), carry no length, escape 0xA0, 0xA1 and 0xAA as 0xAA
// followed by the byte | 0x10, and end with a checksum that makes the sum of
// all bytes 0 modulo 256.

#include <cstdint>
#include <optional>
#include <vector>

namespace simbmc {

constexpr uint8_t kMessageEnd = 0xa0;
constexpr uint8_t kControlEnd = 0xa1;
constexpr uint8_t kEscape = 0xaa;

// A request as the controller model takes it: network function, command,
// data; with the framing's sequence number and LUN to answer with.
struct WireRequest {
    uint8_t sequence = 0;
    uint8_t lun = 0;
    std::vector<uint8_t> message;
};

// Splits the byte stream into messages; keeps what is not yet complete.
class WireReader {
public:
    // Feeds bytes; returns the requests completed by them. Control messages
    // and requests that are too short or fail their checksum are dropped.
    std::vector<WireRequest> Feed(const uint8_t* bytes, size_t count);

private:
    std::optional<WireRequest> Decode() const;

    std::vector<uint8_t> pending_;
    bool escaped_ = false;
};

// The framed answer to `request`: `answer` is network function, command,
// completion code, data as the model gives it.
std::vector<uint8_t> FrameAnswer(const WireRequest& request, const std::vector<uint8_t>& answer);

}  // namespace simbmc
