// SPDX-License-Identifier: BSD-2-Clause
#include "pixels/PixelKernels.h"
#include "pixels/StagingSse2.h"

namespace {

template <bool ALIGNED>
__m128i LoadHalf(const uint8_t* address)
{
    const __m128i* const vector = reinterpret_cast<const __m128i*>(address);
    if constexpr (ALIGNED)
        return _mm_load_si128(vector);
    else
        return _mm_loadu_si128(vector);
}

template <bool ALIGNED>
void LoadRows(const StagingMasks* masks, const uint8_t* source, ptrdiff_t stride,
              MacroblockBuffer* buffer, int lines)
{
    const __m128i byteMask = _mm_loadu_si128(reinterpret_cast<const __m128i*>(masks->byteMask));
    for (int row = 0; row < lines; ++row) {
        const uint8_t* const line = source + row * stride;
        PrefetchAhead(line, UYVY_LINE_BYTES);  // the next macroblock's part of this line
        UnpackUYVYLineSse2(LoadHalf<ALIGNED>(line), LoadHalf<ALIGNED>(line + 16), byteMask, buffer,
                           row);
    }
}

// Streaming stores bypass the cache: the decoded picture is not read again soon.
template <bool ALIGNED>
void StoreHalf(uint8_t* address, __m128i value)
{
    __m128i* const vector = reinterpret_cast<__m128i*>(address);
    if constexpr (ALIGNED)
        _mm_stream_si128(vector, value);
    else
        _mm_storeu_si128(vector, value);
}

template <bool ALIGNED>
void StoreRows(const MacroblockBuffer* buffer, uint8_t* destination, ptrdiff_t stride, int lines)
{
    for (int row = 0; row < lines; ++row) {
        __m128i low;
        __m128i high;
        PackUYVYLineSse2(buffer, row, &low, &high);
        uint8_t* const line = destination + row * stride;
        StoreHalf<ALIGNED>(line, low);
        StoreHalf<ALIGNED>(line + 16, high);
    }
}

}  // namespace

void LoadUYVYMacroblockSse2(const StagingMasks* masks, const uint8_t* source, ptrdiff_t stride,
                            MacroblockBuffer* buffer)
{
    LoadRows<false>(masks, source, stride, buffer, MACROBLOCK_LINES);
}

void LoadUYVYMacroblockAlignedSse2(const StagingMasks* masks, const uint8_t* source,
                                   ptrdiff_t stride, MacroblockBuffer* buffer)
{
    LoadRows<true>(masks, source, stride, buffer, MACROBLOCK_LINES);
}

void LoadUYVYMacroblockPartialSse2(const StagingMasks* masks, const uint8_t* source,
                                   ptrdiff_t stride, MacroblockBuffer* buffer, int lines)
{
    LoadRows<false>(masks, source, stride, buffer, lines);
    CompleteRows(buffer, lines);
}

void StoreUYVYMacroblockSse2(const MacroblockBuffer* buffer, uint8_t* destination, ptrdiff_t stride)
{
    StoreRows<false>(buffer, destination, stride, MACROBLOCK_LINES);
}

void StoreUYVYMacroblockAlignedSse2(const MacroblockBuffer* buffer, uint8_t* destination,
                                    ptrdiff_t stride)
{
    StoreRows<true>(buffer, destination, stride, MACROBLOCK_LINES);
}

void StoreUYVYMacroblockPartialSse2(const MacroblockBuffer* buffer, uint8_t* destination,
                                    ptrdiff_t stride, int lines)
{
    StoreRows<false>(buffer, destination, stride, lines);
}
