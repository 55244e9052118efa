// SPDX-License-Identifier: BSD-2-Clause
#include "codec/SliceLoops.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "codec/CodecInstance.h"
#include "codec/Macroblock.h"

namespace {

constexpr int BAND_FIELD_LINES = 8;
constexpr int BAND_FRAME_LINES = 16;

// The bands of one slice: where the first one starts and how many full and
// partial ones there are. Offsets stay integers until a band is really coded,
// so no pointer is ever formed outside the picture.
struct SliceGeometry {
    int columns;
    int fullBands;
    int partialLines;  // lines of the partial band, or -1 when the slice has none
};

SliceGeometry GeometryOf(const CodecInstance* instance, int slice)
{
    const int height = instance->height;
    const int fullHeight = height & ~(BAND_FRAME_LINES - 1);
    SliceGeometry g{instance->width / 16, 0, -1};
    int64_t y = BAND_FRAME_LINES * slice;
    for (; y < fullHeight; y += SLICE_COUNT * BAND_FRAME_LINES)
        ++g.fullBands;
    if (y < height)
        g.partialLines = (height - fullHeight) / 2;
    if (g.columns < 0)
        g.columns = 0;  // a negative width codes nothing
    return g;
}

ptrdiff_t BandOffset(ptrdiff_t stride, int slice, int band)
{
    return ptrdiff_t(BAND_FIELD_LINES) * (slice + SLICE_COUNT * band) * stride;
}

bool IsAligned(const void* base, ptrdiff_t stride)
{
    return reinterpret_cast<uintptr_t>(base) % 16 == 0 && stride % 16 == 0;
}

// Visits the slice's macroblocks in coding order: band by band from the top,
// left to right within a band. `code` gets the macroblock's top-left byte and
// its line count (8, or that of the partial band).
template <typename Byte, typename CodeMacroblock>
void ForEachMacroblock(const CodecInstance* instance, int bytesPerMacroblockLine, Byte* base, ptrdiff_t stride,
                       int slice, CodeMacroblock code)
{
    const SliceGeometry g = GeometryOf(instance, slice);
    int band = 0;
    for (; band < g.fullBands; ++band) {
        Byte* line = base + BandOffset(stride, slice, band);
        for (int c = 0; c < g.columns; ++c)
            code(line + ptrdiff_t(c) * bytesPerMacroblockLine, BAND_FIELD_LINES);
    }
    if (g.partialLines < 0)
        return;
    // A partial band of no line has no address of its own; nothing of it is
    // read or written.
    Byte* line = g.partialLines ? base + BandOffset(stride, slice, band) : base;
    for (int c = 0; c < g.columns; ++c)
        code(line + ptrdiff_t(c) * bytesPerMacroblockLine, g.partialLines);
}

void EncodeSliceWith(const CodecInstance* instance, const PixelFormatKernels* kernels, const uint8_t* base,
                     ptrdiff_t stride, int slice, BitWriter* writer)
{
    const LoadMacroblockFn load = IsAligned(base, stride) ? kernels->loadAligned : kernels->load;
    alignas(32) MacroblockBuffer buffer;  // whole 32-byte row pairs for the AVX2 kernels
    ForEachMacroblock(instance, kernels->bytesPerMacroblockLine, base, stride, slice,
                      [&](const uint8_t* macroblock, int lines) {
                          if (lines == BAND_FIELD_LINES)
                              load(&instance->stagingMasks, macroblock, stride, &buffer);
                          else
                              kernels->loadPartial(&instance->stagingMasks, macroblock, stride, &buffer, lines);
                          EncodeMacroblock(instance, &buffer, writer);
                      });
}

void DecodeSliceWith(const CodecInstance* instance, const PixelFormatKernels* kernels, uint8_t* base,
                     ptrdiff_t stride, int slice, BitReader* reader)
{
    const StoreMacroblockFn store = IsAligned(base, stride) ? kernels->storeAligned : kernels->store;
    alignas(32) MacroblockBuffer buffer;
    ForEachMacroblock(instance, kernels->bytesPerMacroblockLine, base, stride, slice,
                      [&](uint8_t* macroblock, int lines) {
                          DecodeMacroblock(instance, &buffer, reader);
                          if (lines == BAND_FIELD_LINES)
                              store(&buffer, macroblock, stride);
                          else
                              kernels->storePartial(&buffer, macroblock, stride, lines);
                      });
#if defined(__SSE2__)
    // Streaming stores are weakly ordered: make them visible before the
    // caller learns that the slice is done. (The plain twins do not stream.)
    _mm_sfence();
#endif
}

}  // namespace

void EncodeSliceUYVY(const CodecInstance* instance, const uint8_t* base, ptrdiff_t stride, int slice, BitWriter* writer)
{
    EncodeSliceWith(instance, &instance->pixelKernels.uyvy, base, stride, slice, writer);
}

void EncodeSliceBGR24(const CodecInstance* instance, const uint8_t* base, ptrdiff_t stride, int slice, BitWriter* writer)
{
    EncodeSliceWith(instance, &instance->pixelKernels.bgr24, base, stride, slice, writer);
}

void EncodeSliceBGR32(const CodecInstance* instance, const uint8_t* base, ptrdiff_t stride, int slice, BitWriter* writer)
{
    EncodeSliceWith(instance, &instance->pixelKernels.bgr32, base, stride, slice, writer);
}

void DecodeSliceUYVY(const CodecInstance* instance, uint8_t* base, ptrdiff_t stride, int slice, BitReader* reader)
{
    DecodeSliceWith(instance, &instance->pixelKernels.uyvy, base, stride, slice, reader);
}

void DecodeSliceBGR24(const CodecInstance* instance, uint8_t* base, ptrdiff_t stride, int slice, BitReader* reader)
{
    DecodeSliceWith(instance, &instance->pixelKernels.bgr24, base, stride, slice, reader);
}

void DecodeSliceBGR32(const CodecInstance* instance, uint8_t* base, ptrdiff_t stride, int slice, BitReader* reader)
{
    DecodeSliceWith(instance, &instance->pixelKernels.bgr32, base, stride, slice, reader);
}

uint32_t SliceMacroblockCount(const CodecInstance* instance, int slice)
{
    const SliceGeometry g = GeometryOf(instance, slice);
    return uint32_t(g.columns) * uint32_t(g.fullBands + (g.partialLines >= 0 ? 1 : 0));
}
