// SPDX-License-Identifier: BSD-2-Clause
// The tiers of the block coder side by side, and the code tables they read,
// without a codec instance.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "entropy/EntropyCode.h"
#include "platform/CpuFlags.h"

inline std::unique_ptr<EntropyTables> MakeEntropyTables()
{
    auto tables = std::make_unique<EntropyTables>();
    BuildValueCodes(tables.get());
    BuildZeroRunCodes(tables.get());
    return tables;
}

inline EntropyKernels EntropyKernelsFor(uint32_t cpuFlags)
{
    EntropyKernels kernels;
    InitEntropyKernels(&kernels, cpuFlags);
    return kernels;
}

struct EntropyTier {
    const char* name;
    EntropyKernels kernels;
};

// The plain twins, then the portable decoder with the SSE2 encoder (the
// portable decoder alone where SSE2 is not compiled in), then the AVX2 tier
// where the processor has it, whatever SetCpuFlagsMask currently says.
inline std::vector<EntropyTier> EntropyTiers()
{
    constexpr uint32_t SSE2_TIER = CPU_FEATURE_MMX | CPU_FEATURE_SSE | CPU_FEATURE_SSE2;
    std::vector<EntropyTier> tiers = {{"plain", EntropyKernelsFor(0)}, {"sse2", EntropyKernelsFor(SSE2_TIER)}};
    if (DetectedCpuFlags() & CPU_FEATURE_AVX2)
        tiers.push_back({"avx2", EntropyKernelsFor(SSE2_TIER | CPU_FEATURE_AVX2)});
    return tiers;
}

// A scan-order block from the test generators as the encoder kernels take it.
inline Block NaturalOrder(const Block& scan)
{
    Block natural;
    for (int k = 0; k < 64; ++k)
        natural.v[ZigzagOrder[k]] = scan.v[k];
    return natural;
}

// The tiers after the plain one: what the kernel checker holds against it.
inline std::vector<EntropyTier> FastEntropyTiers()
{
    std::vector<EntropyTier> tiers = EntropyTiers();
    tiers.erase(tiers.begin());
    return tiers;
}
