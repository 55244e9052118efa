// SPDX-License-Identifier: BSD-2-Clause
// Shared by the pixel staging tests and benchmarks: the lane masks the load
// kernels read, and the kernel records of every tier this build and processor
// can run, side by side.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "pixels/PixelKernels.h"
#include "platform/CpuFlags.h"

inline const StagingMasks* TestStagingMasks()
{
    static const StagingMasks masks = [] {
        StagingMasks m;
        InitStagingMasks(&m);
        return m;
    }();
    return &masks;
}

struct KernelSet {
    const char* name;
    PixelKernels kernels;
};

inline KernelSet PlainKernelSet()
{
    KernelSet set = {"plain", {}};
    InitPixelKernels(&set.kernels, 0);
    return set;
}

inline KernelSet Sse2KernelSet()
{
    KernelSet set = {"sse2", {}};
    InitPixelKernels(&set.kernels, CPU_FEATURE_SSE2);
    return set;
}

// The SSE2 and AVX2 sets, where this build and processor have them.
inline std::vector<KernelSet> SimdKernelSets()
{
    std::vector<KernelSet> sets;
#if defined(__SSE2__)
    sets.push_back(Sse2KernelSet());
#endif
    if (DetectedCpuFlags() & CPU_FEATURE_AVX2) {
        sets.push_back({"avx2", {}});
        InitPixelKernels(&sets.back().kernels, DetectedCpuFlags());
    }
    return sets;
}

inline std::vector<KernelSet> AllKernelSets()
{
    std::vector<KernelSet> sets = SimdKernelSets();
    sets.insert(sets.begin(), PlainKernelSet());
    return sets;
}

inline void FillRandom(void* memory, size_t bytes, std::mt19937* random)
{
    uint8_t* const out = static_cast<uint8_t*>(memory);
    for (size_t i = 0; i < bytes; ++i)
        out[i] = static_cast<uint8_t>((*random)());
}
