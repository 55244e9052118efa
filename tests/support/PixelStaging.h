// Shared by the pixel staging tests and benchmarks: an instance record with
// only the lane masks set (all the load kernels read), and the plain and SSE2
// kernel records side by side.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>

#include "engine/CodecInstance.h"
#include "pixels/PixelKernels.h"
#include "platform/CpuFlags.h"

inline const CodecInstance* MaskOnlyInstance()
{
    static const CodecInstance* const instance = [] {
        static CodecInstance record = {};
        for (uint16_t& lane : record.byteMask)
            lane = 0x00FF;
        for (uint16_t& lane : record.byteMaskHalf)
            lane = 0x00FF;
        return &record;
    }();
    return instance;
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

inline void FillRandom(void* memory, size_t bytes, std::mt19937* random)
{
    uint8_t* const out = static_cast<uint8_t*>(memory);
    for (size_t i = 0; i < bytes; ++i)
        out[i] = static_cast<uint8_t>((*random)());
}
