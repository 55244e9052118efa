#include "platform/CpuFlags.h"

#include <atomic>

namespace {
std::atomic<uint32_t> cpuFlagsMask{~0u};
}

uint32_t RuntimeCpuFlags()
{
#if defined(__SSE2__)
    const uint32_t built = CPU_FEATURE_MMX | CPU_FEATURE_SSE | CPU_FEATURE_SSE2;
#else
    const uint32_t built = 0;
#endif
    return built & cpuFlagsMask.load(std::memory_order_relaxed);
}

void SetCpuFlagsMask(uint32_t mask)
{
    cpuFlagsMask.store(mask, std::memory_order_relaxed);
}
