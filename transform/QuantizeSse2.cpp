// SPDX-License-Identifier: BSD-2-Clause
// Quantiser and dequantiser on SSE2, one row of eight coefficients per step.
// Quantize.cpp is the plain twin.
#if defined(__SSE2__)

#include "transform/DctSse2Ops.h"
#include "transform/TransformKernelsSse2.h"

namespace {

void ScaleBlockSse2(Block* block, const float* table)
{
    for (int y = 0; y < 8; ++y) {
        __m128i* row = reinterpret_cast<__m128i*>(block->v + 8 * y);
        _mm_store_si128(row, ScaleRow(LoadRow(row), table + 8 * y));
    }
}

}  // namespace

void QuantizeSse2(Block* block, const float* reciprocals)
{
    ScaleBlockSse2(block, reciprocals);
}

void DequantizeSse2(Block* block, const float* scales)
{
    ScaleBlockSse2(block, scales);
}

#endif
