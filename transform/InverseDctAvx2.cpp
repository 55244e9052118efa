// SPDX-License-Identifier: BSD-2-Clause
// Dequantiser and inverse transform of a block pair on AVX2, one row of each
// block per vector. InversePairPlain is the twin.
//
// Most decoded blocks have coefficients in their first rows only. A row of
// zeros needs neither the dequantiser nor the horizontal pass, whose result
// for it is a constant; the kernel skips the rows after the last one with a
// coefficient in either block.
#if defined(__AVX2__)

#include "transform/DctAvx2Ops.h"
// Written with the lane operations above, so they come after them.
#include "transform/DctColumns.h"
#include "transform/DctRows.h"
#include "transform/TransformKernelsAvx2.h"

namespace {

// Row y of blocks a and b, dequantised: each row sign-extended whole to eight
// 32-bit lanes, so that it meets the row of the table as it lies in memory,
// then packed within halves: a0..a3 b0..b3 | a4..a7 b4..b7.
__m256i DequantizedRows(const Block* a, const Block* b, int y, const float* scales)
{
    const __m256 rowScales = _mm256_loadu_ps(scales + 8 * y);
    const __m256i rowA = Scale32(_mm256_cvtepi16_epi32(LoadRow(a, y)), rowScales);
    const __m256i rowB = Scale32(_mm256_cvtepi16_epi32(LoadRow(b, y)), rowScales);
    return Pack32(rowA, rowB);
}

// True when every step of `rows` table rows from `first` is finite: zero
// times an infinite or undefined step is not zero after the dequantiser.
bool FiniteSteps(const float* scales, int first, int rows)
{
    const __m256 zero = _mm256_setzero_ps();
    __m256 sum = zero;  // 0 where every product is 0, NaN where one is not
    for (int y = first; y < first + rows; ++y)
        sum = _mm256_add_ps(sum, _mm256_mul_ps(_mm256_loadu_ps(scales + 8 * y), zero));
    return _mm256_movemask_ps(_mm256_cmp_ps(sum, zero, _CMP_EQ_OQ)) == 0xFF;
}

// The rows that need the dequantiser and the horizontal pass: one more than
// the last row with a coefficient in either block, and row 0 always.
int CodedRows(const Block* pair)
{
    const __m256i* a = reinterpret_cast<const __m256i*>(pair[0].v);  // two rows per vector
    const __m256i* b = reinterpret_cast<const __m256i*>(pair[1].v);
    unsigned zeroHalves = 0;  // bit 2y + h: half h of row y is zero in both blocks
    for (int i = 0; i < 4; ++i) {
        const __m256i rows = _mm256_or_si256(_mm256_loadu_si256(a + i), _mm256_loadu_si256(b + i));
        const __m256i zero = _mm256_cmpeq_epi64(rows, _mm256_setzero_si256());
        zeroHalves |= unsigned(_mm256_movemask_pd(_mm256_castsi256_pd(zero))) << 4 * i;
    }
    const unsigned codedHalves = (~zeroHalves & 0xFFFF) | 1;
    return (31 - __builtin_clz(codedHalves)) / 2 + 1;
}

// The dequantiser goes over the coded rows before the inverse transform
// starts: fused row by row, the two schedule worse.
template <int ROWS>
void InverseRowsAvx2(Block* pair, const float* scales)
{
    __m256i dequantized[ROWS];
#pragma GCC unroll 8
    for (int y = 0; y < ROWS; ++y)
        dequantized[y] = DequantizedRows(&pair[0], &pair[1], y, scales);
    __m256i r[8];
#pragma GCC unroll 8
    for (int y = 0; y < 8; ++y) {
        // Each block's row back into a half of its own.
        r[y] = y < ROWS ? InverseRow(_mm256_permute4x64_epi64(dequantized[y], _MM_SHUFFLE(3, 1, 2, 0)), y)
                        : _mm256_set1_epi16(ZERO_ROW_SAMPLE[y]);
    }
    InverseColumns(r);
    for (int y = 0; y < 8; ++y)
        StoreRowPair(&pair[0], &pair[1], y, r[y]);
}

// Rows from ROWS on are zero in both blocks.
template <int ROWS>
void InverseSkippingRows(Block* pair, const float* scales)
{
    if (FiniteSteps(scales, ROWS, 8 - ROWS))
        InverseRowsAvx2<ROWS>(pair, scales);
    else
        InverseRowsAvx2<8>(pair, scales);
}

}  // namespace

void InversePairAvx2(Block* pair, const float* scales)
{
    switch (CodedRows(pair)) {
    case 1: return InverseSkippingRows<1>(pair, scales);
    case 2: return InverseSkippingRows<2>(pair, scales);
    case 3: return InverseSkippingRows<3>(pair, scales);
    case 4: return InverseSkippingRows<4>(pair, scales);
    case 5: return InverseSkippingRows<5>(pair, scales);
    case 6: return InverseSkippingRows<6>(pair, scales);
    case 7: return InverseSkippingRows<7>(pair, scales);
    default: return InverseRowsAvx2<8>(pair, scales);
    }
}

#endif
