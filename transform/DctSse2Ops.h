// Vector forms of the lane operations of LaneOps.h, under the same names, so
// that the SSE2 transforms read like their plain twins. SSE2 files only.
#pragma once

#include <emmintrin.h>

#include "transform/DctConstants.h"

inline __m128i LoadRow(const void* p)
{
    return _mm_load_si128(static_cast<const __m128i*>(p));
}

inline __m128i AddSat16(__m128i a, __m128i b)
{
    return _mm_adds_epi16(a, b);
}

inline __m128i SubSat16(__m128i a, __m128i b)
{
    return _mm_subs_epi16(a, b);
}

inline __m128i MulHi16(__m128i a, int16_t k)
{
    return _mm_mulhi_epi16(a, _mm_set1_epi16(k));
}

inline __m128i OrOne(__m128i a)
{
    return _mm_or_si128(a, _mm_set1_epi16(1));
}

// Four outputs of a 4x4 weight matrix: `pair01` holds inputs 0 and 1 in every
// lane pair, `pair23` inputs 2 and 3. Sums wrap modulo 2^32.
inline __m128i MulAdd4(__m128i pair01, __m128i pair23, const MaddWeights& w)
{
    return _mm_add_epi32(_mm_madd_epi16(pair01, LoadRow(w.half[0])), _mm_madd_epi16(pair23, LoadRow(w.half[1])));
}
