// SPDX-License-Identifier: BSD-2-Clause
// A codec instance with quantiser tables and kernels but no workers, for the
// transform and macroblock tests and benchmarks.
#pragma once

#include <cstdint>
#include <memory>

#include "codec/CodecInstance.h"
#include "entropy/EntropyCode.h"
#include "platform/CpuFlags.h"
#include "transform/QuantTables.h"
#include "transform/TransformKernels.h"

struct TransformTestInstance {
    CodecInstance instance;
    alignas(16) float tables[4][64];
};

// Tables for `quality` (any value, 0 included) and the transform kernels for
// `cpuFlags`. The entropy tables are left empty.
inline std::unique_ptr<TransformTestInstance> MakeTransformTestInstance(int32_t quality, uint32_t cpuFlags)
{
    auto t = std::make_unique<TransformTestInstance>();
    CodecInstance* instance = &t->instance;
    instance->lumaReciprocals = t->tables[0];
    instance->chromaReciprocals = t->tables[1];
    instance->lumaScales = t->tables[2];
    instance->chromaScales = t->tables[3];
    instance->quality = INT32_MIN;  // no quality a test asks for, so the tables get built
    SetQuality(instance, quality);
    InitTransformKernels(&instance->transformKernels, cpuFlags);
    return t;
}

// Adds what coding whole macroblocks needs: entropy tables and kernels.
inline void AddEntropyCode(TransformTestInstance* t, uint32_t cpuFlags)
{
    BuildValueCodes(&t->instance.entropyTables);
    BuildZeroRunCodes(&t->instance.entropyTables);
    InitEntropyKernels(&t->instance.entropyKernels, cpuFlags);
}
