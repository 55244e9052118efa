// SPDX-License-Identifier: BSD-2-Clause
#include "transform/TransformKernels.h"

#include "platform/CpuFlags.h"
#include "transform/TransformKernelsAvx2.h"
#include "transform/TransformKernelsSse2.h"

void InitTransformKernels(TransformKernels* kernels, uint32_t cpuFlags)
{
    kernels->forwardDct = ForwardDctPlain;
    kernels->inverseDct = InverseDctPlain;
    kernels->quantize = QuantizePlain;
    kernels->dequantize = DequantizePlain;
    kernels->forwardPair = ForwardPairPlain;
    kernels->inversePair = InversePairPlain;
    if (!(cpuFlags & CPU_FEATURE_SSE2))
        return;
#if defined(__SSE2__)
    kernels->forwardDct = ForwardDctSse2;
    kernels->inverseDct = InverseDctSse2;
    kernels->quantize = QuantizeSse2;
    kernels->dequantize = DequantizeSse2;
    kernels->forwardPair = ForwardPairSse2;
    kernels->inversePair = InversePairSse2;
#endif
    if (!(cpuFlags & CPU_FEATURE_AVX2))
        return;
#if defined(QF25_HAVE_AVX2_KERNELS)
    // Two blocks per vector: the pairs gain, single blocks stay on SSE2.
    kernels->forwardPair = ForwardPairAvx2;
    kernels->inversePair = InversePairAvx2;
#endif
}
