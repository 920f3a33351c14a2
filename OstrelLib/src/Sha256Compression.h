#pragma once
// The SHA-256 compression function behind CSHA, in two implementations that
// give identical results: the portable one and one on the x86-64 SHA
// instructions. The engine is chosen once from the CPU; tests switch it to run
// both on the same inputs.

#include <cstddef>
#include <cstdint>

namespace Sha256Compression {

// Compresses `count` consecutive 64-byte blocks into `state` with the round
// constants `k` (64 words).
using Compressor = void (*)(std::uint32_t state[8], const unsigned char* blocks, std::size_t count,
                            const std::uint32_t* k);

void CompressPortable(std::uint32_t state[8], const unsigned char* blocks, std::size_t count,
                      const std::uint32_t* k);
// Only to be called when CpuHasShaExtensions().
void CompressWithShaExtensions(std::uint32_t state[8], const unsigned char* blocks,
                               std::size_t count, const std::uint32_t* k);
// The CPU has the SHA instructions and the SSE levels they are used with.
bool CpuHasShaExtensions();

enum class Engine { Portable, ShaExtensions };

// The engine in use: the SHA instructions when the CPU has them.
Engine ActiveEngine();
// Selects an engine; false (and no change) when the CPU cannot run it.
bool SelectEngine(Engine engine);
Compressor ActiveCompressor();

}  // namespace Sha256Compression
