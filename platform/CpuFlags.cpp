// SPDX-License-Identifier: BSD-2-Clause
#include "platform/CpuFlags.h"

#include <atomic>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace {

std::atomic<uint32_t> cpuFlagsMask{~0u};

#if defined(QF25_HAVE_AVX2_KERNELS)
// Leaf 1 ECX: OSXSAVE (27), AVX (28). Leaf 7 EBX: BMI1 (3), AVX2 (5), BMI2 (8).
// XCR0 bits 1 and 2: the system saves XMM and YMM state on a task switch.
bool HasAvx2Tier()
{
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d))
        return false;
    if (!(c & (1u << 27)) || !(c & (1u << 28)))
        return false;
    unsigned xcr0Low, xcr0High;
    __asm__ volatile("xgetbv" : "=a"(xcr0Low), "=d"(xcr0High) : "c"(0));
    if ((xcr0Low & 6u) != 6u)
        return false;
    if (__get_cpuid_max(0, nullptr) < 7)
        return false;
    __cpuid_count(7, 0, a, b, c, d);
    const unsigned needed = (1u << 3) | (1u << 5) | (1u << 8);
    return (b & needed) == needed;
}
#endif

#if defined(__i386__) || defined(__x86_64__)
uint32_t DetectFlags()
{
    uint32_t flags = CPU_FEATURE_MMX | CPU_FEATURE_SSE | CPU_FEATURE_SSE2;
#if defined(QF25_HAVE_AVX2_KERNELS)
    if (HasAvx2Tier())
        flags |= CPU_FEATURE_AVX2;
#endif
    return flags;
}
#else
uint32_t DetectFlags()
{
    return 0;
}
#endif

}  // namespace

uint32_t DetectedCpuFlags()
{
    static const uint32_t detected = DetectFlags();
    return detected;
}

uint32_t RuntimeCpuFlags()
{
    return DetectedCpuFlags() & cpuFlagsMask.load(std::memory_order_relaxed);
}

void SetCpuFlagsMask(uint32_t mask)
{
    cpuFlagsMask.store(mask, std::memory_order_relaxed);
}
