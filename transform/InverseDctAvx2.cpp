// SPDX-License-Identifier: BSD-2-Clause
// Dequantiser and inverse transform of a block pair on AVX2, one row of each
// block per vector. InversePairPlain is the twin.
//
// Most decoded blocks have coefficients in their first rows only. A row of
// zeros needs neither the dequantiser nor the horizontal pass, whose result
// for it is a constant; the kernel skips the rows from 4, or from 1, on when
// they are zero in both blocks.
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

// The rows that need the dequantiser and the horizontal pass: 1, 4 or 8.
int CodedRows(const Block* pair, const float* scales)
{
    const __m256i* a = reinterpret_cast<const __m256i*>(pair[0].v);  // two rows per vector
    const __m256i* b = reinterpret_cast<const __m256i*>(pair[1].v);
    const __m256i rows4to7 = _mm256_or_si256(_mm256_or_si256(_mm256_loadu_si256(a + 2), _mm256_loadu_si256(a + 3)),
                                             _mm256_or_si256(_mm256_loadu_si256(b + 2), _mm256_loadu_si256(b + 3)));
    if (!_mm256_testz_si256(rows4to7, rows4to7) || !FiniteSteps(scales, 4, 4))
        return 8;
    const __m256i row1 = _mm256_set_epi64x(-1, -1, 0, 0);
    const __m256i rows0to1 = _mm256_or_si256(_mm256_loadu_si256(a), _mm256_loadu_si256(b));
    const __m256i rows2to3 = _mm256_or_si256(_mm256_loadu_si256(a + 1), _mm256_loadu_si256(b + 1));
    if (!_mm256_testz_si256(rows2to3, rows2to3) || !_mm256_testz_si256(rows0to1, row1) || !FiniteSteps(scales, 1, 3))
        return 4;
    return 1;
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

}  // namespace

void InversePairAvx2(Block* pair, const float* scales)
{
    switch (CodedRows(pair, scales)) {
    case 1:
        InverseRowsAvx2<1>(pair, scales);
        return;
    case 4:
        InverseRowsAvx2<4>(pair, scales);
        return;
    default:
        InverseRowsAvx2<8>(pair, scales);
        return;
    }
}

#endif
