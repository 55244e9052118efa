// Quantiser and dequantiser on SSE2, one row of eight coefficients per step.
// Quantize.cpp is the plain twin.
#if defined(__SSE2__)

#include <emmintrin.h>

#include "transform/TransformKernelsSse2.h"

namespace {

void ScaleBlockSse2(Block* block, const float* table)
{
    __m128i* rows = reinterpret_cast<__m128i*>(block->v);
    for (int y = 0; y < 8; ++y) {
        const __m128i x = _mm_load_si128(&rows[y]);
        // Sign-extend: each value lands in the top half of a 32-bit lane.
        const __m128i lo = _mm_srai_epi32(_mm_unpacklo_epi16(x, x), 16);
        const __m128i hi = _mm_srai_epi32(_mm_unpackhi_epi16(x, x), 16);
        const __m128 productLo = _mm_mul_ps(_mm_cvtepi32_ps(lo), _mm_load_ps(table + 8 * y));
        const __m128 productHi = _mm_mul_ps(_mm_cvtepi32_ps(hi), _mm_load_ps(table + 8 * y + 4));
        _mm_store_si128(&rows[y], _mm_packs_epi32(_mm_cvtps_epi32(productLo), _mm_cvtps_epi32(productHi)));
    }
}

}  // namespace

void QuantizeSse2(Block* block, const float* reciprocals)
{
    ScaleBlockSse2(block, reciprocals);
}

void DequantizeSse2(Block* block, const float* scales)
{
    ScaleBlockSse2(block, scales);
}

#endif
