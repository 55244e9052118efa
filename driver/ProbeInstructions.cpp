// SPDX-License-Identifier: BSD-2-Clause
#include "driver/ExceptionGuard.h"
#include "driver/ProcessorProbes.h"

#if defined(__i386__) || defined(__x86_64__)

#include <cpuid.h>

namespace {

// Each routine executes one instruction of its extension and leaves the
// processor state as it found it.
void ExecuteCpuidLeaf0()
{
    ExecuteCpuid(0);
}

void ExecutePxor()
{
    __asm__ volatile("pxor %%mm0, %%mm0\n\temms" ::: "mm0");
}

void ExecuteXorps()
{
    __asm__ volatile("xorps %%xmm0, %%xmm0" ::: "xmm0");
}

void ExecuteXorpd()
{
    __asm__ volatile("xorpd %%xmm0, %%xmm0" ::: "xmm0");
}

void ExecutePfrcp()
{
    __asm__ volatile("pfrcp %%mm0, %%mm0\n\temms" ::: "mm0");
}

}  // namespace

CpuidResult ExecuteCpuid(uint32_t leaf)
{
    CpuidResult result;
    __cpuid(leaf, result.eax, result.ebx, result.ecx, result.edx);
    return result;
}

bool ProbeCpuid()
{
    return RunGuarded(ExecuteCpuidLeaf0);
}

bool ProbeFeature(uint32_t feature)
{
    switch (feature) {
    case CPU_FEATURE_MMX:
        return RunGuarded(ExecutePxor);
    case CPU_FEATURE_SSE:
        return RunGuarded(ExecuteXorps);
    case CPU_FEATURE_SSE2:
        return RunGuarded(ExecuteXorpd);
    case CPU_FEATURE_3DNOW:
        return RunGuarded(ExecutePfrcp);
    default:
        return true;
    }
}

#else

// Other processors have no CPUID: the query reports no feature.
CpuidResult ExecuteCpuid(uint32_t)
{
    return CpuidResult{};
}

bool ProbeCpuid()
{
    return false;
}

bool ProbeFeature(uint32_t)
{
    return false;
}

#endif
