// SPDX-License-Identifier: BSD-2-Clause
#include <qf25.h>

#include "driver/EntryPoint.h"
#include "platform/CpuFlags.h"

extern "C" {

// The kernel tables add AVX2 kernels only on top of the SSE2 ones.
QF25_ENTRY const char* QF25_CALL QFC_KernelTier(void)
{
    const uint32_t flags = RuntimeCpuFlags();
    if (!(flags & CPU_FEATURE_SSE2))
        return "plain";
    return flags & CPU_FEATURE_AVX2 ? "AVX2" : "SSE2";
}

}  // extern "C"
