// SPDX-License-Identifier: BSD-2-Clause
// Plain twins of the SSE2 quantiser and dequantiser: one float product per
// coefficient, converted as cvtps2dq does and saturated as packssdw does.
#include "transform/LaneOps.h"
#include "transform/TransformKernels.h"

namespace {

void ScaleBlockPlain(Block* block, const float* table)
{
    for (int i = 0; i < 64; ++i)
        block->v[i] = Saturate16(ConvertToInt32(float(block->v[i]) * table[i]));
}

}  // namespace

void QuantizePlain(Block* block, const float* reciprocals)
{
    ScaleBlockPlain(block, reciprocals);
}

void DequantizePlain(Block* block, const float* scales)
{
    ScaleBlockPlain(block, scales);
}
