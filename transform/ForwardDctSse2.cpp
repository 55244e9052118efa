// SPDX-License-Identifier: BSD-2-Clause
// Forward 8x8 transform on SSE2: the vertical pass on all eight columns at
// once, one vector per row, then each row with four pmaddwd. In a block pair
// each row goes on to the quantiser before it is stored. ForwardDct.cpp and
// ForwardPairPlain are the twins.
#if defined(__SSE2__)

#include "transform/DctSse2Ops.h"
// Written with the lane operations above, so they come after them.
#include "transform/DctColumns.h"
#include "transform/DctRows.h"
#include "transform/TransformKernelsSse2.h"

namespace {

void LoadColumns(const Block* block, __m128i* r)
{
    for (int y = 0; y < 8; ++y)
        r[y] = LoadRow(block->v + 8 * y);
    ForwardColumns(r);
}

void StoreRow(Block* block, int y, __m128i row)
{
    _mm_store_si128(reinterpret_cast<__m128i*>(block->v + 8 * y), row);
}

void ForwardQuantizeSse2(Block* block, const float* reciprocals)
{
    __m128i r[8];
    LoadColumns(block, r);
#pragma GCC unroll 8
    for (int y = 0; y < 8; ++y)
        StoreRow(block, y, ForwardRowQuantized(r[y], y, reciprocals));
}

}  // namespace

void ForwardDctSse2(Block* block)
{
    __m128i r[8];
    LoadColumns(block, r);
    for (int y = 0; y < 8; ++y)
        StoreRow(block, y, ForwardRow(r[y], y));
}

void ForwardPairSse2(Block* pair, const float* reciprocals)
{
    ForwardQuantizeSse2(&pair[0], reciprocals);
    ForwardQuantizeSse2(&pair[1], reciprocals);
}

#endif
