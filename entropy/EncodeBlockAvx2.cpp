// SPDX-License-Identifier: BSD-2-Clause
// The block encoder for AVX2: the zero flags of the 64 coefficients, packed to
// bytes, are permuted into scan order with byte shuffles, so the zigzag costs a
// few vector instructions; EncodeMaskedBlocks then codes the non-zero ones.
#include <immintrin.h>

#include "entropy/EncodeBlockMasked.h"

namespace {

// After packing, the flags of natural indices n sit in four 16-byte sources,
// each copied to both lanes: source (n / 32) * 2 + (n / 8) % 2, byte
// ((n / 16) % 2) * 8 + n % 8. SHUFFLES.bytes[h][s] picks for scan positions
// 32h..32h+31 the bytes that source s holds and zeroes the others.
struct Shuffles {
    int8_t bytes[2][4][32];
};

constexpr Shuffles SHUFFLES = [] {
    Shuffles table{};
    for (int h = 0; h < 2; ++h) {
        for (int s = 0; s < 4; ++s) {
            for (int j = 0; j < 32; ++j) {
                const int n = ZigzagOrder[32 * h + j];
                const bool here = (n / 32) * 2 + (n / 8) % 2 == s;
                table.bytes[h][s][j] = int8_t(here ? ((n / 16) % 2) * 8 + n % 8 : -128);
            }
        }
    }
    return table;
}();

__m256i Shuffle(__m256i source, int h, int s)
{
    return _mm256_shuffle_epi8(source, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(SHUFFLES.bytes[h][s])));
}

uint32_t ScanFlags(const __m256i sources[4], int h)
{
    const __m256i a = _mm256_or_si256(Shuffle(sources[0], h, 0), Shuffle(sources[1], h, 1));
    const __m256i b = _mm256_or_si256(Shuffle(sources[2], h, 2), Shuffle(sources[3], h, 3));
    return uint32_t(_mm256_movemask_epi8(_mm256_or_si256(a, b)));
}

// The non-zero flags of a block in scan order; false when a value lies
// outside the code's range.
bool NonZeroFlags(const Block* natural, uint64_t* nonZero)
{
    const __m256i zero = _mm256_setzero_si256();
    // v + LIMIT, as an unsigned 16-bit number, exceeds 2 * LIMIT for every v
    // outside the range.
    const __m256i offset = _mm256_set1_epi16(VALUE_CODE_LIMIT);
    const __m256i span = _mm256_set1_epi16(2 * VALUE_CODE_LIMIT);
    const __m256i* in = reinterpret_cast<const __m256i*>(natural->v);
    __m256i flags[4];
    __m256i outside = zero;
    for (int i = 0; i < 4; ++i) {
        // Blocks are 16-byte aligned only.
        const __m256i v = _mm256_loadu_si256(in + i);
        outside = _mm256_or_si256(outside, _mm256_subs_epu16(_mm256_add_epi16(v, offset), span));
        flags[i] = _mm256_cmpeq_epi16(v, zero);
        if (i == 0)  // the DC has its own, wider range
            outside = _mm256_and_si256(outside, _mm256_set_epi16(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0));
    }
    if (!_mm256_testz_si256(outside, outside))
        return false;
    // Per lane, packing interleaves the halves: bytes 0..7 of a lane come from
    // the first argument, 8..15 from the second.
    const __m256i low32 = _mm256_packs_epi16(flags[0], flags[1]);
    const __m256i high32 = _mm256_packs_epi16(flags[2], flags[3]);
    const __m256i sources[4] = {
        _mm256_permute4x64_epi64(low32, 0x44), _mm256_permute4x64_epi64(low32, 0xEE),
        _mm256_permute4x64_epi64(high32, 0x44), _mm256_permute4x64_epi64(high32, 0xEE)};
    const uint64_t zeros = ScanFlags(sources, 0) | uint64_t(ScanFlags(sources, 1)) << 32;
    *nonZero = ~zeros & ~uint64_t(1);
    return true;
}

}  // namespace

void EncodeNaturalBlocksAvx2(const Block* blocks, int count, const EntropyTables* tables, BitWriter* writer)
{
    EncodeMaskedBlocks(blocks, count, tables, writer, NonZeroFlags);
    // The compiler leaves the upper halves in use across the call to the
    // block coder, which has no vector code, and then sees no need to clear
    // them on return; SSE code run later would pay for them.
    _mm256_zeroupper();
}
