#include "transform/TransformKernels.h"

#include "platform/CpuFlags.h"
#include "transform/TransformKernelsSse2.h"

void InitTransformKernels(TransformKernels* kernels, uint32_t cpuFlags)
{
    kernels->forwardDct = ForwardDctPlain;
    kernels->inverseDct = InverseDctPlain;
    kernels->quantize = QuantizePlain;
    kernels->dequantize = DequantizePlain;
    if (!(cpuFlags & CPU_FEATURE_SSE2))
        return;
#if defined(__SSE2__)
    kernels->forwardDct = ForwardDctSse2;
    kernels->inverseDct = InverseDctSse2;
    kernels->quantize = QuantizeSse2;
    kernels->dequantize = DequantizeSse2;
#endif
}
