#include "controller_wire.h"

#include <sstream>

namespace sim::devices {

uint8_t ByteAt(const std::vector<uint8_t>& message, size_t position) {
    return position >= 1 && position <= message.size() ? message[position - 1] : 0;
}

void PutByte(std::vector<uint8_t>& message, size_t position, uint8_t value) {
    if (position >= 1 && position <= message.size())
        message[position - 1] = value;
}

bool ParseHexBytes(const std::string& text, std::vector<uint8_t>* bytes) {
    std::istringstream tokens(text);
    std::vector<uint8_t> parsed;
    std::string token;
    while (tokens >> token) {
        std::string digits = token;
        if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
            digits = digits.substr(2);
        }
        if (digits.empty() || digits.size() > 2 ||
            digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
            return false;
        }
        parsed.push_back(static_cast<uint8_t>(std::stoul(digits, nullptr, 16)));
    }
    *bytes = std::move(parsed);
    return true;
}

}  // namespace sim::devices
