// SPDX-License-Identifier: BSD-2-Clause
// SSE2 line helpers shared by the UYVY and RGB kernels; include only from
// *Sse2.cpp files. A UYVY macroblock line travels as two 16-byte halves
// (macropixels 0-3 and 4-7).
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "pixels/Staging.h"
#include "platform/Block.h"

// Luma is the high byte of every 16-bit word; the low bytes, packed in order,
// are Cb0 Cr0 Cb1 Cr1 ... Cb7 Cr7, which split into Cb and Cr the same way.
inline void UnpackUYVYLineSse2(__m128i low, __m128i high, __m128i byteMask,
                               MacroblockBuffer* buffer, int row)
{
    const __m128i chroma = _mm_packus_epi16(_mm_and_si128(low, byteMask),
                                            _mm_and_si128(high, byteMask));
    __m128i* const rows[4] = {
        reinterpret_cast<__m128i*>(buffer->block[BLOCK_Y_LEFT].v + 8 * row),
        reinterpret_cast<__m128i*>(buffer->block[BLOCK_Y_RIGHT].v + 8 * row),
        reinterpret_cast<__m128i*>(buffer->block[BLOCK_CB].v + 8 * row),
        reinterpret_cast<__m128i*>(buffer->block[BLOCK_CR].v + 8 * row),
    };
    _mm_store_si128(rows[BLOCK_Y_LEFT], _mm_srli_epi16(low, 8));
    _mm_store_si128(rows[BLOCK_Y_RIGHT], _mm_srli_epi16(high, 8));
    _mm_store_si128(rows[BLOCK_CB], _mm_and_si128(chroma, byteMask));
    _mm_store_si128(rows[BLOCK_CR], _mm_srli_epi16(chroma, 8));
}

// Saturates luma and chroma to bytes and interleaves them as Cb Y Cr Y.
inline void PackUYVYLineSse2(const MacroblockBuffer* buffer, int row, __m128i* low,
                             __m128i* high)
{
    const auto rowOf = [buffer, row](int block) {
        return _mm_load_si128(reinterpret_cast<const __m128i*>(buffer->block[block].v + 8 * row));
    };
    const __m128i luma = _mm_packus_epi16(rowOf(BLOCK_Y_LEFT), rowOf(BLOCK_Y_RIGHT));
    const __m128i cbThenCr = _mm_packus_epi16(rowOf(BLOCK_CB), rowOf(BLOCK_CR));
    const __m128i chroma = _mm_unpacklo_epi8(cbThenCr, _mm_srli_si128(cbThenCr, 8));
    *low = _mm_unpacklo_epi8(chroma, luma);
    *high = _mm_unpackhi_epi8(chroma, luma);
}

// Non-temporal prefetch of bytes further along the picture line. The address
// is formed as an integer: it may lie past the end of the picture, which a
// prefetch tolerates but pointer arithmetic would not.
inline void PrefetchAhead(const uint8_t* line, uintptr_t offset)
{
    _mm_prefetch(reinterpret_cast<const char*>(reinterpret_cast<uintptr_t>(line) + offset),
                 _MM_HINT_NTA);
}
