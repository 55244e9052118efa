// SPDX-License-Identifier: BSD-2-Clause
// Plain twins of the block pair kernels: the block kernels' twins, one block
// after the other.
#include "transform/TransformKernels.h"

void ForwardPairPlain(Block* pair, const float* reciprocals)
{
    for (int k = 0; k < 2; ++k) {
        ForwardDctPlain(&pair[k]);
        QuantizePlain(&pair[k], reciprocals);
    }
}

void InversePairPlain(Block* pair, const float* scales)
{
    for (int k = 0; k < 2; ++k) {
        DequantizePlain(&pair[k], scales);
        InverseDctPlain(&pair[k]);
    }
}
