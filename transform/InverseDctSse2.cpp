// SPDX-License-Identifier: BSD-2-Clause
// Inverse 8x8 transform on SSE2: each row with four pmaddwd, then the
// vertical pass on all eight columns at once, one vector per row; the pair
// kernel skips the rows after a block's last coded one. InverseDct.cpp and
// InversePairPlain are the twins.
#if defined(__SSE2__)

#include "transform/DctSse2Ops.h"
// Written with the lane operations above, so they come after them.
#include "transform/DctColumns.h"
#include "transform/DctRows.h"
#include "transform/TransformKernelsSse2.h"

void InverseDctSse2(Block* block)
{
    __m128i r[8];
    for (int y = 0; y < 8; ++y)
        r[y] = InverseRow(LoadRow(block->v + 8 * y), y);
    InverseColumns(r);
    for (int y = 0; y < 8; ++y)
        _mm_store_si128(reinterpret_cast<__m128i*>(block->v + 8 * y), r[y]);
}

namespace {

// One more than the last row with a coefficient, and row 0 always.
int CodedRows(const Block* block)
{
    const __m128i zero = _mm_setzero_si128();
    uint32_t zeroFlags[4];  // one bit per coefficient, two rows each
    for (int y = 0; y < 8; y += 2) {
        const __m128i a = _mm_cmpeq_epi16(LoadRow(block->v + 8 * y), zero);
        const __m128i b = _mm_cmpeq_epi16(LoadRow(block->v + 8 * y + 8), zero);
        zeroFlags[y / 2] = uint32_t(_mm_movemask_epi8(_mm_packs_epi16(a, b)));
    }
    int rows = 1;
    for (int i = 0; i < 4; ++i) {
        const uint32_t coded = ~zeroFlags[i] & 0xFFFF;
        if (coded)
            rows = 2 * i + (coded > 0xFF ? 2 : 1);
    }
    return rows;
}

// True when every step of the table's rows from `first` on is finite: zero
// times an infinite or undefined step is not zero after the dequantiser.
bool FiniteSteps(const float* scales, int first)
{
    const __m128 zero = _mm_setzero_ps();
    __m128 sum = zero;  // 0 where every product is 0, NaN where one is not
    for (int i = 8 * first; i < 64; i += 4)
        sum = _mm_add_ps(sum, _mm_mul_ps(_mm_load_ps(scales + i), zero));
    return _mm_movemask_ps(_mm_cmpeq_ps(sum, zero)) == 0xF;
}

// The dequantiser goes over the coded rows before the inverse transform
// starts: fused row by row, the two run slower. A row of zeros needs neither
// the dequantiser nor the horizontal pass, whose result for it is a constant.
template <int ROWS>
void InverseRowsSse2(Block* block, const float* scales)
{
    __m128i r[8];
    for (int y = 0; y < ROWS; ++y)
        r[y] = ScaleRow(LoadRow(block->v + 8 * y), scales + 8 * y);
    for (int y = 0; y < 8; ++y)
        r[y] = y < ROWS ? InverseRow(r[y], y) : _mm_set1_epi16(ZERO_ROW_SAMPLE[y]);
    InverseColumns(r);
    for (int y = 0; y < 8; ++y)
        _mm_store_si128(reinterpret_cast<__m128i*>(block->v + 8 * y), r[y]);
}

void InverseBlockSse2(Block* block, const float* scales)
{
    const int rows = CodedRows(block);
    if (rows < 8 && !FiniteSteps(scales, rows))
        return InverseRowsSse2<8>(block, scales);
    switch (rows) {
    case 1: return InverseRowsSse2<1>(block, scales);
    case 2: return InverseRowsSse2<2>(block, scales);
    case 3: return InverseRowsSse2<3>(block, scales);
    case 4: return InverseRowsSse2<4>(block, scales);
    case 5: return InverseRowsSse2<5>(block, scales);
    case 6: return InverseRowsSse2<6>(block, scales);
    case 7: return InverseRowsSse2<7>(block, scales);
    default: return InverseRowsSse2<8>(block, scales);
    }
}

}  // namespace

void InversePairSse2(Block* pair, const float* scales)
{
    InverseBlockSse2(&pair[0], scales);
    InverseBlockSse2(&pair[1], scales);
}

#endif
