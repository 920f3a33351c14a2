#pragma once
// The message length that SHA-256 appends to its padding: a 64-bit count of
// bits, held as two 32-bit words as CSHA keeps it.

#include <cstdint>

namespace Sha256BitCount {

// Adds `bytes` bytes to the count. The low word counts bits and carries into
// the high word, which also takes the three top bits of the byte count that
// the shift into bits pushes out of 32 bits: from 512 MiB on, the count
// needs the high word.
inline void AddBytes(std::uint32_t& low, std::uint32_t& high, std::uint32_t bytes) {
    const std::uint32_t bits = bytes << 3;
    low += bits;
    if (low < bits)
        ++high;
    high += bytes >> 29;
}

}  // namespace Sha256BitCount
