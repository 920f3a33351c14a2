#pragma once
// Byte positions as the controller's interface counts them: 1-based over the
// whole message, so position 1 is the network function, 2 the command code
// and 3 the first data byte of a request or the completion code of an answer.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim::devices {

// 0 for a position the message does not reach.
uint8_t ByteAt(const std::vector<uint8_t>& message, size_t position);
// Writes nothing beyond the message: a command may have a shorter answer.
void PutByte(std::vector<uint8_t>& message, size_t position, uint8_t value);

// Hexadecimal tokens separated by blanks, each with an optional 0x and at most
// 0xff. False (and *bytes unchanged) when a token is not such a byte.
bool ParseHexBytes(const std::string& text, std::vector<uint8_t>* bytes);

}  // namespace sim::devices
