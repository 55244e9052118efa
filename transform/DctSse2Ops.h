// SPDX-License-Identifier: BSD-2-Clause
// The lane operations of the transforms on 128-bit vectors: those of LaneOps.h
// under the same names, and the few that the row templates of DctRows.h
// build on. SSE2 files only.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "transform/DctLanes.h"

// Internal to each file that includes it: the instruction set differs from
// file to file, and no copy may stand in for another at link time.
namespace {

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

inline __m128i ShiftLeft16(__m128i a, int n)
{
    return _mm_slli_epi16(a, n);
}

inline __m128i ShiftRight16(__m128i a, int n)
{
    return _mm_srai_epi16(a, n);
}

// The first copy of a constant row.
inline __m128i LoadLanes(const LaneRow16& row)
{
    return LoadRow(row.v[0]);
}

inline __m128i LoadLanes(const LaneRow32& row)
{
    return LoadRow(row.v[0]);
}

inline __m128i AddSat16(__m128i a, const LaneRow32& constant)
{
    return _mm_adds_epi16(a, LoadLanes(constant));
}

inline __m128i Reversed(__m128i a)
{
    const __m128i halves =
        _mm_shufflehi_epi16(_mm_shufflelo_epi16(a, _MM_SHUFFLE(0, 1, 2, 3)), _MM_SHUFFLE(0, 1, 2, 3));
    return _mm_shuffle_epi32(halves, _MM_SHUFFLE(1, 0, 3, 2));
}

template <int ORDER>
__m128i Shuffle16High(__m128i a)
{
    return _mm_shufflehi_epi16(a, ORDER);
}

inline __m128i InterleavePairs(__m128i a, __m128i b)
{
    return _mm_unpacklo_epi32(a, b);
}

template <int ORDER>
__m128i Shuffle32(__m128i a)
{
    return _mm_shuffle_epi32(a, ORDER);
}

// The inputs of the inverse row sums, X0 X2, X4 X6, X1 X3 and X5 X7, each
// pair in every 32-bit lane.
inline void SpreadInversePairs(__m128i x, __m128i* e02, __m128i* e46, __m128i* o13, __m128i* o57)
{
    // 32-bit lanes (X0 X2) (X1 X3) (X4 X6) (X5 X7).
    const __m128i pairs = _mm_shufflehi_epi16(_mm_shufflelo_epi16(x, _MM_SHUFFLE(3, 1, 2, 0)), _MM_SHUFFLE(3, 1, 2, 0));
    *e02 = _mm_shuffle_epi32(pairs, 0x00);
    *o13 = _mm_shuffle_epi32(pairs, 0x55);
    *e46 = _mm_shuffle_epi32(pairs, 0xAA);
    *o57 = _mm_shuffle_epi32(pairs, 0xFF);
}

inline __m128i MulAdd(__m128i a, const LaneRow16& weights)
{
    return _mm_madd_epi16(a, LoadLanes(weights));
}

inline __m128i Add32(__m128i a, __m128i b)
{
    return _mm_add_epi32(a, b);
}

inline __m128i Add32(__m128i a, const LaneRow32& constant)
{
    return _mm_add_epi32(a, LoadLanes(constant));
}

inline __m128i Sub32(__m128i a, __m128i b)
{
    return _mm_sub_epi32(a, b);
}

inline __m128i ShiftRight32(__m128i a, int n)
{
    return _mm_srai_epi32(a, n);
}

inline __m128i Pack32(__m128i a, __m128i b)
{
    return _mm_packs_epi32(a, b);
}

// 32-bit lanes times floats, rounded to nearest even as by cvtps2dq.
inline __m128i Scale32(__m128i a, __m128 factors)
{
    return _mm_cvtps_epi32(_mm_mul_ps(_mm_cvtepi32_ps(a), factors));
}

// Four lanes by four table entries (16-byte aligned).
inline __m128i ScaleLanes(__m128i a, const float* four)
{
    return Scale32(a, _mm_load_ps(four));
}

// Eight 16-bit values times eight table entries (16-byte aligned), each
// product rounded and saturated to 16 bits: one row of the quantiser.
inline __m128i ScaleRow(__m128i x, const float* eight)
{
    // Sign-extend: each value next to a copy of its sign bit.
    const __m128i sign = ShiftRight16(x, 15);
    return Pack32(ScaleLanes(_mm_unpacklo_epi16(x, sign), eight), ScaleLanes(_mm_unpackhi_epi16(x, sign), eight + 4));
}

}  // namespace
