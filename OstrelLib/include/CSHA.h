#pragma once
// SHA-256 over a file or a byte string, rendered as 64 lowercase hex digits.
// Uses the CPU's SHA instructions when it has them; the result is the same
// either way. Failures throw plain text, not CVEKException: a std::string
// from CSHA itself, and a const char* from the CDoubleBuffering reader behind
// DigestFile when a file that opened cannot be read.
//
//     char hex[65];
//     CSHA().CalculateSHA256(path, true, hex);

#include <cstddef>
#include <cstdint>
#include <string>

class CSHA {
public:
    CSHA();

    // Starts a new digest.
    void Reset();
    // Feeds bytes; a negative length throws.
    void AddData(const char* data, int length);
    // Writes the 32-byte digest and resets; throws when nothing was added
    // since the last reset.
    void FinalDigest(char* digest);
    // The 32-byte digest of the file's contents; throws a std::string when
    // the file cannot be opened or is empty, the reader's const char* when it
    // cannot be read (a directory, an I/O error).
    void DigestFile(const std::string& path, char* digest);
    // Digests the file named `text` (fromFile) or the bytes of `text`, and
    // writes 64 hex digits and a NUL into `hex` (at least 65 bytes).
    void CalculateSHA256(const std::string& text, bool fromFile, char* hex);
    // Two lowercase hex digits and a NUL, high nibble first.
    void Char2Hex(unsigned char byte, char* out);
    void Binary2Hex(const unsigned char* data, int count, char* out);

private:
    // Compresses the block buffer into the hash state.
    void Transform();
    // Compresses `count` whole 64-byte blocks straight from the input.
    void TransformBlocks(const unsigned char* blocks, std::size_t count);

    static const std::uint32_t sm_H256[8];
    static const std::uint32_t sm_K256[64];

    bool m_bDataAdded;
    std::uint32_t m_auiHash[8];
    std::uint32_t m_uiBitCountLow;
    std::uint32_t m_uiBitCountHigh;
    unsigned char m_aucBlock[64];
};
