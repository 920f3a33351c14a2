#include "CSHA.h"

#include <algorithm>
#include <fstream>
#include <vector>

#include "CDoubleBuffering.h"
#include "Sha256BitCount.h"
#include "Sha256Compression.h"

namespace {

// Files are read in halves of a megabyte and digested half a megabyte at a
// time: few, large reads keep the digest at the speed of the hashing itself,
// and memory stays the same whatever the file's size.
constexpr int kFileBufferSize = 1024 * 1024;
constexpr int kFileChunkSize = kFileBufferSize / 2;

constexpr std::size_t kTextPieceSize = 1 << 30;

constexpr std::size_t kBlockSize = 64;
constexpr std::size_t kLengthOffset = 56;

const char kHexDigits[] = "0123456789abcdef";

void StoreBigEndian(std::uint32_t word, unsigned char* bytes) {
    bytes[0] = static_cast<unsigned char>(word >> 24);
    bytes[1] = static_cast<unsigned char>(word >> 16);
    bytes[2] = static_cast<unsigned char>(word >> 8);
    bytes[3] = static_cast<unsigned char>(word);
}

}  // namespace

const std::uint32_t CSHA::sm_H256[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                        0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

const std::uint32_t CSHA::sm_K256[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

CSHA::CSHA() {
    Reset();
}

void CSHA::Reset() {
    m_bDataAdded = false;
    m_uiBitCountLow = 0;
    m_uiBitCountHigh = 0;
    for (int i = 0; i < 8; ++i)
        m_auiHash[i] = sm_H256[i];
}

void CSHA::AddData(const char* data, int length) {
    if (length < 0)
        throw std::string("FileDigest ERROR: in CSHA::AddData(), Data Length should be >= 0!");
    m_bDataAdded = true;

    std::size_t buffered = (m_uiBitCountLow >> 3) & (kBlockSize - 1);
    Sha256BitCount::AddBytes(m_uiBitCountLow, m_uiBitCountHigh, static_cast<std::uint32_t>(length));

    const auto* input = reinterpret_cast<const unsigned char*>(data);
    auto remaining = static_cast<std::size_t>(length);
    if (buffered > 0) {
        const std::size_t taken = std::min(remaining, kBlockSize - buffered);
        std::copy(input, input + taken, m_aucBlock + buffered);
        input += taken;
        remaining -= taken;
        if (buffered + taken < kBlockSize)
            return;
        Transform();
    }
    const std::size_t wholeBlocks = remaining / kBlockSize;
    if (wholeBlocks > 0) {
        TransformBlocks(input, wholeBlocks);
        input += wholeBlocks * kBlockSize;
        remaining -= wholeBlocks * kBlockSize;
    }
    std::copy(input, input + remaining, m_aucBlock);
}

void CSHA::FinalDigest(char* digest) {
    if (!m_bDataAdded)
        throw std::string("FileDigest ERROR: in CSHA::FinalDigest(), No data Added before call!");

    std::size_t used = (m_uiBitCountLow >> 3) & (kBlockSize - 1);
    m_aucBlock[used++] = 0x80;
    if (used > kLengthOffset) {
        std::fill(m_aucBlock + used, m_aucBlock + kBlockSize, 0);
        Transform();
        used = 0;
    }
    std::fill(m_aucBlock + used, m_aucBlock + kLengthOffset, 0);
    StoreBigEndian(m_uiBitCountHigh, m_aucBlock + kLengthOffset);
    StoreBigEndian(m_uiBitCountLow, m_aucBlock + kLengthOffset + 4);
    Transform();

    for (std::size_t i = 0; i < 8; ++i)
        StoreBigEndian(m_auiHash[i], reinterpret_cast<unsigned char*>(digest) + 4 * i);
    Reset();
}

void CSHA::DigestFile(const std::string& path, char* digest) {
    std::ifstream input(path, std::ios::in | std::ios::binary);
    if (!input.is_open())
        throw std::string("FileDigest ERROR: in IMessageDigest::DigestFile(): Cannot open File ") +
            path + "!";
    Reset();
    std::vector<char> buffer(kFileBufferSize + 1, 0);
    std::vector<char> chunk(kFileChunkSize + 1, 0);
    CDoubleBuffering reader(input, buffer.data(), kFileBufferSize, kFileChunkSize);
    for (int count; (count = reader.GetData(chunk.data(), -1)) > 0;)
        AddData(chunk.data(), count);
    input.close();
    FinalDigest(digest);
}

void CSHA::CalculateSHA256(const std::string& text, bool fromFile, char* hex) {
    char digest[32];
    if (fromFile) {
        DigestFile(text, digest);
    } else {
        // In pieces an int can count; an empty text is one empty piece.
        std::size_t offset = 0;
        do {
            const std::size_t piece = std::min<std::size_t>(text.size() - offset, kTextPieceSize);
            AddData(text.data() + offset, static_cast<int>(piece));
            offset += piece;
        } while (offset < text.size());
        FinalDigest(digest);
    }
    Binary2Hex(reinterpret_cast<const unsigned char*>(digest), sizeof digest, hex);
}

void CSHA::Char2Hex(unsigned char byte, char* out) {
    out[0] = kHexDigits[byte >> 4];
    out[1] = kHexDigits[byte & 0x0F];
    out[2] = '\0';
}

void CSHA::Binary2Hex(const unsigned char* data, int count, char* out) {
    out[0] = '\0';
    for (std::size_t i = 0; i < static_cast<std::size_t>(std::max(count, 0)); ++i)
        Char2Hex(data[i], out + 2 * i);
}

void CSHA::Transform() {
    TransformBlocks(m_aucBlock, 1);
}

void CSHA::TransformBlocks(const unsigned char* blocks, std::size_t count) {
    Sha256Compression::ActiveCompressor()(m_auiHash, blocks, count, sm_K256);
}
