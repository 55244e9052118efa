// SPDX-License-Identifier: BSD-2-Clause
#include "pixels/ColourTables.h"
#include "pixels/PixelKernels.h"
#include "pixels/StagingSse2.h"

// Each table entry is one 64-bit load; two pixels share one vector, so the
// lane-wise sums cover two pixels per add. All sums stay within -278..534.
namespace {

__m128i Entry(const ColourTable& table, uint8_t index)
{
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(table[index]));
}

__m128i EntryPair(const ColourTable& table, uint8_t first, uint8_t second)
{
    return _mm_unpacklo_epi64(Entry(table, first), Entry(table, second));
}

// (Cb, Y, Cr, Y) of two neighbouring pixels, one per 64-bit half.
template <int BYTES_PER_PIXEL>
__m128i ForwardPair(const ColourTables* tables, const uint8_t* pixels)
{
    const uint8_t* const second = pixels + BYTES_PER_PIXEL;
    const __m128i red = EntryPair(tables->yccFromR, pixels[2], second[2]);
    const __m128i green = EntryPair(tables->yccFromG, pixels[1], second[1]);
    const __m128i blue = EntryPair(tables->yccFromB, pixels[0], second[0]);
    return _mm_add_epi16(_mm_add_epi16(red, green), blue);
}

// Two macropixels from four pixels: Cb and Y from each even pixel (lanes 0-1),
// Cr and Y from each odd one (lanes 2-3).
template <int BYTES_PER_PIXEL>
__m128i ForwardQuad(const ColourTables* tables, const uint8_t* pixels)
{
    const __m128i first = ForwardPair<BYTES_PER_PIXEL>(tables, pixels);
    const __m128i second = ForwardPair<BYTES_PER_PIXEL>(tables, pixels + 2 * BYTES_PER_PIXEL);
    return _mm_castps_si128(_mm_shuffle_ps(_mm_castsi128_ps(first), _mm_castsi128_ps(second),
                                           _MM_SHUFFLE(3, 0, 3, 0)));
}

template <int BYTES_PER_PIXEL>
void LoadRows(const StagingMasks* masks, const uint8_t* source, ptrdiff_t stride,
              MacroblockBuffer* buffer, int lines)
{
    const ColourTables* const tables = GetColourTables();
    const __m128i halfMask =
        _mm_loadl_epi64(reinterpret_cast<const __m128i*>(masks->byteMaskHalf));
    const __m128i byteMask = _mm_unpacklo_epi64(halfMask, halfMask);
    constexpr int QUAD_BYTES = 4 * BYTES_PER_PIXEL;
    for (int row = 0; row < lines; ++row) {
        const uint8_t* const line = source + row * stride;
        if constexpr (BYTES_PER_PIXEL == 3) {
            PrefetchAhead(line, 40);
        } else {
            PrefetchAhead(line, 64);  // the next macroblock's part of this line
            PrefetchAhead(line, 96);
        }
        const __m128i low = _mm_packus_epi16(ForwardQuad<BYTES_PER_PIXEL>(tables, line),
                                             ForwardQuad<BYTES_PER_PIXEL>(tables, line + QUAD_BYTES));
        const __m128i high =
            _mm_packus_epi16(ForwardQuad<BYTES_PER_PIXEL>(tables, line + 2 * QUAD_BYTES),
                             ForwardQuad<BYTES_PER_PIXEL>(tables, line + 3 * QUAD_BYTES));
        UnpackUYVYLineSse2(low, high, byteMask, buffer, row);
    }
}

// (B, G, R, 0) of both pixels of the macropixel Cb Y Cr Y, one per 64-bit half.
__m128i ReversePair(const ColourTables* tables, const uint8_t* macropixel)
{
    const __m128i chroma =
        _mm_add_epi16(Entry(tables->bgrFromCb, macropixel[0]), Entry(tables->bgrFromCr, macropixel[2]));
    const __m128i luma = EntryPair(tables->bgrFromY, macropixel[1], macropixel[3]);
    return _mm_add_epi16(luma, _mm_unpacklo_epi64(chroma, chroma));
}

// Four B G R 0 pixels -> their 12 bytes B G R in the low bytes, zeros above.
__m128i DropFourthBytes(__m128i pixels)
{
    const __m128i firstPixel = _mm_set1_epi64x(0x0000000000FFFFFF);
    const __m128i secondPixel = _mm_set1_epi64x(0x0000FFFFFF000000);
    const __m128i pairs = _mm_or_si128(_mm_and_si128(pixels, firstPixel),
                                       _mm_and_si128(_mm_srli_epi64(pixels, 8), secondPixel));
    return _mm_or_si128(_mm_move_epi64(pairs), _mm_slli_si128(_mm_srli_si128(pairs, 8), 6));
}

void StoreBGR24Line(const __m128i quads[4], uint8_t* line)
{
    __m128i packed[4];
    for (int quad = 0; quad < 4; ++quad)
        packed[quad] = DropFourthBytes(quads[quad]);
    __m128i* const out = reinterpret_cast<__m128i*>(line);
    _mm_storeu_si128(out, _mm_or_si128(packed[0], _mm_slli_si128(packed[1], 12)));
    _mm_storeu_si128(out + 1,
                     _mm_or_si128(_mm_srli_si128(packed[1], 4), _mm_slli_si128(packed[2], 8)));
    _mm_storeu_si128(out + 2,
                     _mm_or_si128(_mm_srli_si128(packed[2], 8), _mm_slli_si128(packed[3], 4)));
}

template <int BYTES_PER_PIXEL>
void StoreRows(const MacroblockBuffer* buffer, uint8_t* destination, ptrdiff_t stride, int lines)
{
    const ColourTables* const tables = GetColourTables();
    for (int row = 0; row < lines; ++row) {
        alignas(16) uint8_t uyvy[UYVY_LINE_BYTES];
        __m128i low;
        __m128i high;
        PackUYVYLineSse2(buffer, row, &low, &high);
        _mm_store_si128(reinterpret_cast<__m128i*>(uyvy), low);
        _mm_store_si128(reinterpret_cast<__m128i*>(uyvy + 16), high);
        // Each quad is four pixels B G R 0, saturated to bytes.
        __m128i quads[4];
        for (int quad = 0; quad < 4; ++quad) {
            const uint8_t* const macropixels = uyvy + 8 * quad;
            quads[quad] = _mm_packus_epi16(ReversePair(tables, macropixels),
                                           ReversePair(tables, macropixels + 4));
        }
        uint8_t* const line = destination + row * stride;
        if constexpr (BYTES_PER_PIXEL == 3) {
            StoreBGR24Line(quads, line);
        } else {
            for (int quad = 0; quad < 4; ++quad)
                _mm_storeu_si128(reinterpret_cast<__m128i*>(line) + quad, quads[quad]);
        }
    }
}

}  // namespace

void LoadBGR24MacroblockSse2(const StagingMasks* masks, const uint8_t* source,
                             ptrdiff_t stride, MacroblockBuffer* buffer)
{
    LoadRows<3>(masks, source, stride, buffer, MACROBLOCK_LINES);
}

void LoadBGR24MacroblockPartialSse2(const StagingMasks* masks, const uint8_t* source,
                                    ptrdiff_t stride, MacroblockBuffer* buffer, int lines)
{
    LoadRows<3>(masks, source, stride, buffer, lines);
    CompleteRows(buffer, lines);
}

void LoadBGR32MacroblockSse2(const StagingMasks* masks, const uint8_t* source,
                             ptrdiff_t stride, MacroblockBuffer* buffer)
{
    LoadRows<4>(masks, source, stride, buffer, MACROBLOCK_LINES);
}

void LoadBGR32MacroblockPartialSse2(const StagingMasks* masks, const uint8_t* source,
                                    ptrdiff_t stride, MacroblockBuffer* buffer, int lines)
{
    LoadRows<4>(masks, source, stride, buffer, lines);
    CompleteRows(buffer, lines);
}

void StoreBGR24MacroblockSse2(const MacroblockBuffer* buffer, uint8_t* destination,
                              ptrdiff_t stride)
{
    StoreRows<3>(buffer, destination, stride, MACROBLOCK_LINES);
}

void StoreBGR24MacroblockPartialSse2(const MacroblockBuffer* buffer, uint8_t* destination,
                                     ptrdiff_t stride, int lines)
{
    StoreRows<3>(buffer, destination, stride, lines);
}

void StoreBGR32MacroblockSse2(const MacroblockBuffer* buffer, uint8_t* destination,
                              ptrdiff_t stride)
{
    StoreRows<4>(buffer, destination, stride, MACROBLOCK_LINES);
}

void StoreBGR32MacroblockPartialSse2(const MacroblockBuffer* buffer, uint8_t* destination,
                                     ptrdiff_t stride, int lines)
{
    StoreRows<4>(buffer, destination, stride, lines);
}
