// SPDX-License-Identifier: BSD-2-Clause
// Dequantiser and inverse transform of a block pair on AVX2, one row of each
// block per vector. InversePairPlain is the twin.
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

}  // namespace

// The dequantiser goes over all eight rows before the inverse transform
// starts: fused row by row, the two schedule worse.
void InversePairAvx2(Block* pair, const float* scales)
{
    __m256i dequantized[8];
#pragma GCC unroll 8
    for (int y = 0; y < 8; ++y)
        dequantized[y] = DequantizedRows(&pair[0], &pair[1], y, scales);
    __m256i r[8];
#pragma GCC unroll 8
    for (int y = 0; y < 8; ++y) {
        // Each block's row back into a half of its own.
        const __m256i rows = _mm256_permute4x64_epi64(dequantized[y], _MM_SHUFFLE(3, 1, 2, 0));
        r[y] = InverseRow(rows, y);
    }
    InverseColumns(r);
    for (int y = 0; y < 8; ++y)
        StoreRowPair(&pair[0], &pair[1], y, r[y]);
}

#endif
