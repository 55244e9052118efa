// SPDX-License-Identifier: BSD-2-Clause
#include "codec/CodecInstance.h"

#include <new>

#include "codec/ConstructionFailures.h"
#include "codec/SliceWorker.h"
#include "pixels/ColourTables.h"
#include "platform/CpuFlags.h"
#include "transform/QuantTables.h"

namespace {

constexpr size_t TABLE_BYTES = 64 * sizeof(float);
constexpr std::align_val_t TABLE_ALIGNMENT{16};

float* AllocateTable()
{
    if (ConstructionShouldFail())
        return nullptr;
    return static_cast<float*>(::operator new(TABLE_BYTES, TABLE_ALIGNMENT, std::nothrow));
}

void FreeTable(float** table)
{
    if (*table)
        ::operator delete(*table, TABLE_ALIGNMENT);
    *table = nullptr;
}

void ReleaseInstance(CodecInstance* instance)
{
    for (SliceWorker*& worker : instance->workers) {
        if (worker)
            StopWorker(worker);
        worker = nullptr;
    }
    if (instance->fieldJob)
        DestroyFieldJob(instance->fieldJob);
    instance->fieldJob = nullptr;
    FreeTable(&instance->chromaScales);
    FreeTable(&instance->lumaScales);
    FreeTable(&instance->chromaReciprocals);
    FreeTable(&instance->lumaReciprocals);
}

// Builds the worker records and events, then the tables. The workers'
// threads start with the first field decoded on them (SliceWorker.cpp).
bool ConstructInstance(CodecInstance* instance)
{
    instance->quality = 0;
    instance->sliceThreads = SLICE_COUNT;
    instance->fieldJob = ConstructionShouldFail() ? nullptr : CreateFieldJob();
    if (!instance->fieldJob)
        return false;
    for (SliceWorker*& worker : instance->workers) {
        worker = ConstructionShouldFail() ? nullptr : CreateWorker();
        if (!worker)
            return false;
    }
    EnsureColourTables();
    instance->lumaReciprocals = AllocateTable();
    instance->chromaReciprocals = AllocateTable();
    instance->lumaScales = AllocateTable();
    instance->chromaScales = AllocateTable();
    if (!instance->lumaReciprocals || !instance->chromaReciprocals || !instance->lumaScales || !instance->chromaScales)
        return false;
    SetQuality(instance, 95);
    BuildValueCodes(&instance->entropyTables);
    BuildZeroRunCodes(&instance->entropyTables);
    InitStagingMasks(&instance->stagingMasks);
    instance->topDown = 0;
    const uint32_t cpuFlags = RuntimeCpuFlags();
    InitTransformKernels(&instance->transformKernels, cpuFlags);
    InitEntropyKernels(&instance->entropyKernels, cpuFlags);
    InitPixelKernels(&instance->pixelKernels, cpuFlags);
    return true;
}

}  // namespace

void SetQuality(CodecInstance* instance, int32_t q)
{
    if (q == instance->quality)
        return;
    instance->quality = q;
    BuildQuantTables(LUMA_BASE_TABLE, q, instance->lumaScales, instance->lumaReciprocals);
    BuildQuantTables(CHROMA_BASE_TABLE, q, instance->chromaScales, instance->chromaReciprocals);
}

CodecInstance* CreateCodecInstance()
{
    CodecInstance* instance = ConstructionShouldFail() ? nullptr : new (std::nothrow) CodecInstance{};
    if (!instance)
        return nullptr;
    if (!ConstructInstance(instance)) {
        ReleaseInstance(instance);
        delete instance;
        return nullptr;
    }
    return instance;
}

void DestroyCodecInstance(CodecInstance* instance)
{
    if (!instance)
        return;
    ReleaseInstance(instance);
    delete instance;
}
