// SPDX-License-Identifier: BSD-2-Clause
// The SSE2 kernels of the transform family; InitTransformKernels picks them.
#pragma once

#include "platform/Block.h"

void ForwardDctSse2(Block* block);
void InverseDctSse2(Block* block);
void QuantizeSse2(Block* block, const float* reciprocals);
void DequantizeSse2(Block* block, const float* scales);
void ForwardPairSse2(Block* pair, const float* reciprocals);
void InversePairSse2(Block* pair, const float* scales);
