// SPDX-License-Identifier: BSD-2-Clause
// Inverse 8x8 transform on SSE2: each row with four pmaddwd, then the
// vertical pass on all eight columns at once, one vector per row.
// InverseDct.cpp and InversePairPlain are the twins.
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

// The dequantiser finishes a block before its inverse transform starts:
// fused row by row, the two run slower.
void InversePairSse2(Block* pair, const float* scales)
{
    for (int k = 0; k < 2; ++k) {
        DequantizeSse2(&pair[k], scales);
        InverseDctSse2(&pair[k]);
    }
}

#endif
