// SPDX-License-Identifier: BSD-2-Clause
#include "pixels/PixelKernels.h"

#include "pixels/ColourTables.h"
#include "pixels/Staging.h"
#include "platform/CpuFlags.h"

void InitStagingMasks(StagingMasks* masks)
{
    for (uint16_t& lane : masks->byteMask)
        lane = 0x00FF;
    for (uint16_t& lane : masks->byteMaskHalf)
        lane = 0x00FF;
}

void InitPixelKernels(PixelKernels* kernels, uint32_t cpuFlags)
{
    // The RGB kernels read the process-wide colour tables.
    EnsureColourTables();

    // RGB lines have no alignment to exploit: their aligned entries are the ordinary ones.
    kernels->uyvy = {.load = LoadUYVYMacroblock,
                     .loadAligned = LoadUYVYMacroblock,
                     .loadPartial = LoadUYVYMacroblockPartial,
                     .store = StoreUYVYMacroblock,
                     .storeAligned = StoreUYVYMacroblock,
                     .storePartial = StoreUYVYMacroblockPartial,
                     .bytesPerMacroblockLine = UYVY_LINE_BYTES};
    kernels->bgr24 = {.load = LoadBGR24Macroblock,
                      .loadAligned = LoadBGR24Macroblock,
                      .loadPartial = LoadBGR24MacroblockPartial,
                      .store = StoreBGR24Macroblock,
                      .storeAligned = StoreBGR24Macroblock,
                      .storePartial = StoreBGR24MacroblockPartial,
                      .bytesPerMacroblockLine = BGR24_LINE_BYTES};
    kernels->bgr32 = {.load = LoadBGR32Macroblock,
                      .loadAligned = LoadBGR32Macroblock,
                      .loadPartial = LoadBGR32MacroblockPartial,
                      .store = StoreBGR32Macroblock,
                      .storeAligned = StoreBGR32Macroblock,
                      .storePartial = StoreBGR32MacroblockPartial,
                      .bytesPerMacroblockLine = BGR32_LINE_BYTES};
    if (!(cpuFlags & CPU_FEATURE_SSE2))
        return;
#if defined(__SSE2__)
    kernels->uyvy = {.load = LoadUYVYMacroblockSse2,
                     .loadAligned = LoadUYVYMacroblockAlignedSse2,
                     .loadPartial = LoadUYVYMacroblockPartialSse2,
                     .store = StoreUYVYMacroblockSse2,
                     .storeAligned = StoreUYVYMacroblockAlignedSse2,
                     .storePartial = StoreUYVYMacroblockPartialSse2,
                     .bytesPerMacroblockLine = UYVY_LINE_BYTES};
    kernels->bgr24 = {.load = LoadBGR24MacroblockSse2,
                      .loadAligned = LoadBGR24MacroblockSse2,
                      .loadPartial = LoadBGR24MacroblockPartialSse2,
                      .store = StoreBGR24MacroblockSse2,
                      .storeAligned = StoreBGR24MacroblockSse2,
                      .storePartial = StoreBGR24MacroblockPartialSse2,
                      .bytesPerMacroblockLine = BGR24_LINE_BYTES};
    kernels->bgr32 = {.load = LoadBGR32MacroblockSse2,
                      .loadAligned = LoadBGR32MacroblockSse2,
                      .loadPartial = LoadBGR32MacroblockPartialSse2,
                      .store = StoreBGR32MacroblockSse2,
                      .storeAligned = StoreBGR32MacroblockSse2,
                      .storePartial = StoreBGR32MacroblockPartialSse2,
                      .bytesPerMacroblockLine = BGR32_LINE_BYTES};
#endif
#if defined(QF25_HAVE_AVX2_KERNELS)
    if (!(cpuFlags & CPU_FEATURE_AVX2))
        return;
    // Full bands only: the partial band at the bottom keeps the SSE2 kernels.
    kernels->uyvy.load = kernels->uyvy.loadAligned = LoadUYVYMacroblockAvx2;
    kernels->uyvy.store = StoreUYVYMacroblockAvx2;
    kernels->uyvy.storeAligned = StoreUYVYMacroblockAlignedAvx2;
    kernels->bgr24.load = kernels->bgr24.loadAligned = LoadBGR24MacroblockAvx2;
    kernels->bgr24.store = kernels->bgr24.storeAligned = StoreBGR24MacroblockAvx2;
    kernels->bgr32.load = kernels->bgr32.loadAligned = LoadBGR32MacroblockAvx2;
    kernels->bgr32.store = kernels->bgr32.storeAligned = StoreBGR32MacroblockAvx2;
#endif
}
