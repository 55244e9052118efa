// SPDX-License-Identifier: BSD-2-Clause
// The AVX2 kernels of the transform family; InitTransformKernels picks them.
#pragma once

#include "platform/Block.h"

void ForwardPairAvx2(Block* pair, const float* reciprocals);
void InversePairAvx2(Block* pair, const float* scales);
