// SPDX-License-Identifier: BSD-2-Clause
// The block encoder for SSE2: one pass over the natural-order block checks
// its range and finds its zero flags; the flags move to scan order four at a
// time through nibble tables, and EncodeMaskedBlocks codes the non-zero
// coefficients.
#include <emmintrin.h>

#include "entropy/EncodeBlockMasked.h"

namespace {

// SCAN_FLAGS.flags[i][f]: the flags f of natural indices 4i..4i+3, placed at their
// scan positions.
struct ScanFlagTable {
    uint64_t flags[16][16];
};

constexpr ScanFlagTable SCAN_FLAGS = [] {
    ScanFlagTable table{};
    for (int k = 0; k < 64; ++k) {
        const int n = ZigzagOrder[k];
        for (unsigned f = 0; f < 16; ++f) {
            if (f >> (n % 4) & 1)
                table.flags[n / 4][f] |= uint64_t(1) << k;
        }
    }
    return table;
}();

// The zero flags of the coefficients in natural order; false when a value
// lies outside the code's range, for the plain encoder to saturate.
bool FindZeros(const Block* natural, uint64_t* zeros)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i low = _mm_set1_epi16(-VALUE_CODE_LIMIT);
    const __m128i high = _mm_set1_epi16(VALUE_CODE_LIMIT);
    const __m128i* in = reinterpret_cast<const __m128i*>(natural->v);
    __m128i outside = zero;
    *zeros = 0;
    for (int i = 0; i < 8; i += 2) {
        const __m128i a = _mm_load_si128(in + i);
        const __m128i b = _mm_load_si128(in + i + 1);
        outside = _mm_or_si128(outside, _mm_or_si128(_mm_cmpgt_epi16(a, high), _mm_cmpgt_epi16(low, a)));
        if (i == 0)  // the DC has its own, wider range
            outside = _mm_and_si128(outside, _mm_set_epi16(-1, -1, -1, -1, -1, -1, -1, 0));
        outside = _mm_or_si128(outside, _mm_or_si128(_mm_cmpgt_epi16(b, high), _mm_cmpgt_epi16(low, b)));
        const __m128i flags = _mm_packs_epi16(_mm_cmpeq_epi16(a, zero), _mm_cmpeq_epi16(b, zero));
        *zeros |= uint64_t(uint32_t(_mm_movemask_epi8(flags))) << (8 * i);
    }
    return _mm_movemask_epi8(outside) == 0;
}

uint64_t ToScanOrder(uint64_t naturalFlags)
{
    uint64_t scan = 0;
    for (int i = 0; i < 16; ++i)
        scan |= SCAN_FLAGS.flags[i][naturalFlags >> (4 * i) & 15];
    return scan;
}

}  // namespace

void EncodeNaturalBlocksSse2(const Block* blocks, int count, const EntropyTables* tables, BitWriter* writer)
{
    EncodeMaskedBlocks(blocks, count, tables, writer, [](const Block* natural, uint64_t* nonZero) {
        uint64_t zeros;
        if (!FindZeros(natural, &zeros))
            return false;
        *nonZero = ~ToScanOrder(zeros) & ~uint64_t(1);
        return true;
    });
}
