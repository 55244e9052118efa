// SPDX-License-Identifier: BSD-2-Clause
#include "entropy/EntropyInternal.h"
#include "platform/CpuFlags.h"

void InitEntropyKernels(EntropyKernels* kernels, uint32_t cpuFlags)
{
    kernels->encodeNaturalBlocks = EncodeNaturalBlocksPlain;
    kernels->decodeBlocks = DecodeBlocksPlain;
    // The fast decoder is portable C++; only a mask of 0, which is how tests
    // and users ask for the reference twins, keeps the plain one.
    if (cpuFlags == 0)
        return;
    kernels->decodeBlocks = DecodeBlocksFast;
    if (!(cpuFlags & CPU_FEATURE_SSE2))
        return;
#if defined(__SSE2__)
    kernels->encodeNaturalBlocks = EncodeNaturalBlocksSse2;
#endif
#if defined(QF25_HAVE_AVX2_KERNELS)
    if (!(cpuFlags & CPU_FEATURE_AVX2))
        return;
    kernels->encodeNaturalBlocks = EncodeNaturalBlocksAvx2;
    kernels->decodeBlocks = DecodeBlocksAvx2;
#endif
}
