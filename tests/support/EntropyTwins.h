// The two twins of the block coder side by side, and the code tables they
// read, without building a whole codec instance (no workers, no threads).
#pragma once

#include <cstdint>
#include <memory>

#include "engine/CodecInstance.h"
#include "engine/EntropyCode.h"
#include "platform/CpuFlags.h"

inline std::unique_ptr<CodecInstance> MakeEntropyTables()
{
    auto instance = std::make_unique<CodecInstance>();
    BuildValueCodes(instance.get());
    BuildZeroRunCodes(instance.get());
    return instance;
}

inline EntropyKernels PlainEntropyKernels()
{
    EntropyKernels kernels;
    InitEntropyKernels(&kernels, 0);
    return kernels;
}

// Everything an x86 build can use, whatever SetCpuFlagsMask currently says.
inline EntropyKernels FastEntropyKernels()
{
    EntropyKernels kernels;
    InitEntropyKernels(&kernels, CPU_FEATURE_MMX | CPU_FEATURE_SSE | CPU_FEATURE_SSE2);
    return kernels;
}
