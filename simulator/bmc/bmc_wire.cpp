#include "bmc_wire.h"

namespace simbmc {
namespace {

constexpr size_t kShortestRequest = 4;  // sequence, network function, command, checksum
// Longer than any IPMI message; protects against a stream without ends.
constexpr size_t kLongestMessage = 1024;

uint8_t Checksum(const std::vector<uint8_t>& bytes) {
    uint8_t sum = 0;
    for (const uint8_t byte : bytes)
        sum = static_cast<uint8_t>(sum + byte);
    return static_cast<uint8_t>(-sum);
}

}  // namespace

std::vector<WireRequest> WireReader::Feed(const uint8_t* bytes, size_t count) {
    std::vector<WireRequest> requests;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t byte = bytes[i];
        if (byte == kMessageEnd || byte == kControlEnd) {
            if (byte == kMessageEnd && !escaped_) {
                if (std::optional<WireRequest> request = Decode())
                    requests.push_back(std::move(*request));
            }
            pending_.clear();
            escaped_ = false;
        } else if (byte == kEscape) {
            escaped_ = true;
        } else {
            pending_.push_back(escaped_ ? static_cast<uint8_t>(byte & ~0x10) : byte);
            escaped_ = false;
            if (pending_.size() > kLongestMessage)
                pending_.clear();
        }
    }
    return requests;
}

std::optional<WireRequest> WireReader::Decode() const {
    if (pending_.size() < kShortestRequest || Checksum(pending_) != 0)
        return std::nullopt;
    WireRequest request;
    request.sequence = pending_[0];
    request.lun = pending_[1] & 0x03;
    request.message.push_back(static_cast<uint8_t>(pending_[1] >> 2));
    request.message.insert(request.message.end(), pending_.begin() + 2, pending_.end() - 1);
    return request;
}

std::vector<uint8_t> FrameAnswer(const WireRequest& request, const std::vector<uint8_t>& answer) {
    std::vector<uint8_t> plain = {request.sequence};
    if (!answer.empty())
        plain.push_back(static_cast<uint8_t>(answer[0] << 2 | request.lun));
    plain.insert(plain.end(), answer.begin() + (answer.empty() ? 0 : 1), answer.end());
    plain.push_back(Checksum(plain));
    std::vector<uint8_t> framed;
    for (const uint8_t byte : plain) {
        if (byte == kMessageEnd || byte == kControlEnd || byte == kEscape) {
            framed.push_back(kEscape);
            framed.push_back(static_cast<uint8_t>(byte | 0x10));
        } else {
            framed.push_back(byte);
        }
    }
    framed.push_back(kMessageEnd);
    return framed;
}

}  // namespace simbmc
