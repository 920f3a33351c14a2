// SHA-256 on the x86-64 SHA instructions. Only the functions of this file are
// compiled for them (target attribute), so the library still runs on CPUs
// without them; CpuHasShaExtensions() says whether they may be called.

#include "Sha256Compression.h"

#if defined(__x86_64__)

#include <cpuid.h>
#include <immintrin.h>

namespace Sha256Compression {

namespace {

#define KOR_SHA_TARGET __attribute__((target("sha,sse4.1,ssse3")))

// Two rounds per sha256rnds2, four per group: the group's message words plus
// their constants go into the low and then the high half of the operand.
KOR_SHA_TARGET inline void FourRounds(__m128i& abef, __m128i& cdgh, __m128i words,
                                      const std::uint32_t* k) {
    __m128i input = _mm_add_epi32(words, _mm_loadu_si128(reinterpret_cast<const __m128i*>(k)));
    cdgh = _mm_sha256rnds2_epu32(cdgh, abef, input);
    input = _mm_shuffle_epi32(input, 0x0E);
    abef = _mm_sha256rnds2_epu32(abef, cdgh, input);
}

// The next four message words from the last sixteen.
KOR_SHA_TARGET inline __m128i NextWords(__m128i w0, __m128i w1, __m128i w2, __m128i w3) {
    const __m128i partial = _mm_add_epi32(_mm_sha256msg1_epu32(w0, w1), _mm_alignr_epi8(w3, w2, 4));
    return _mm_sha256msg2_epu32(partial, w3);
}

}  // namespace

KOR_SHA_TARGET void CompressWithShaExtensions(std::uint32_t state[8], const unsigned char* blocks,
                                              std::size_t count, const std::uint32_t* k) {
    // The message bytes are big-endian words.
    const __m128i byteOrder = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    // The instructions keep the state as ABEF and CDGH.
    const __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[0]));
    const __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[4]));
    const __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
    const __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
    __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);

    for (; count > 0; --count, blocks += 64) {
        const __m128i savedAbef = abef;
        const __m128i savedCdgh = cdgh;
        const auto* input = reinterpret_cast<const __m128i*>(blocks);
        __m128i w0 = _mm_shuffle_epi8(_mm_loadu_si128(input + 0), byteOrder);
        __m128i w1 = _mm_shuffle_epi8(_mm_loadu_si128(input + 1), byteOrder);
        __m128i w2 = _mm_shuffle_epi8(_mm_loadu_si128(input + 2), byteOrder);
        __m128i w3 = _mm_shuffle_epi8(_mm_loadu_si128(input + 3), byteOrder);
        for (int round = 0; round < 64; round += 16) {
            FourRounds(abef, cdgh, w0, k + round);
            FourRounds(abef, cdgh, w1, k + round + 4);
            FourRounds(abef, cdgh, w2, k + round + 8);
            FourRounds(abef, cdgh, w3, k + round + 12);
            if (round < 48) {
                w0 = NextWords(w0, w1, w2, w3);
                w1 = NextWords(w1, w2, w3, w0);
                w2 = NextWords(w2, w3, w0, w1);
                w3 = NextWords(w3, w0, w1, w2);
            }
        }
        abef = _mm_add_epi32(abef, savedAbef);
        cdgh = _mm_add_epi32(cdgh, savedCdgh);
    }

    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[0]), _mm_blend_epi16(feba, dchg, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[4]), _mm_alignr_epi8(dchg, feba, 8));
}

bool CpuHasShaExtensions() {
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0)
        return false;
    const bool hasSsse3 = (ecx & bit_SSSE3) != 0;
    const bool hasSse41 = (ecx & bit_SSE4_1) != 0;
    if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) == 0)
        return false;
    const bool hasSha = (ebx & bit_SHA) != 0;
    return hasSsse3 && hasSse41 && hasSha;
}

}  // namespace Sha256Compression

#else  // Other CPUs: the portable code only.

namespace Sha256Compression {

void CompressWithShaExtensions(std::uint32_t state[8], const unsigned char* blocks,
                               std::size_t count, const std::uint32_t* k) {
    CompressPortable(state, blocks, count, k);
}

bool CpuHasShaExtensions() {
    return false;
}

}  // namespace Sha256Compression

#endif
