// SPDX-License-Identifier: BSD-2-Clause
// The lane operations of the transforms on 256-bit vectors, under the names of
// DctSse2Ops.h. Each vector holds one row of two blocks, the first block in
// the low 128 bits and the second in the high ones, and every operation treats
// the halves alike: constants and table slices of one row go into both.
// AVX2 files only.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "platform/Block.h"
#include "transform/DctLanes.h"

// Internal to each file that includes it: the instruction set differs from
// file to file, and no copy may stand in for another at link time.
namespace {

inline __m256i AddSat16(__m256i a, __m256i b)
{
    return _mm256_adds_epi16(a, b);
}

inline __m256i SubSat16(__m256i a, __m256i b)
{
    return _mm256_subs_epi16(a, b);
}

inline __m256i MulHi16(__m256i a, int16_t k)
{
    return _mm256_mulhi_epi16(a, _mm256_set1_epi16(k));
}

inline __m256i OrOne(__m256i a)
{
    return _mm256_or_si256(a, _mm256_set1_epi16(1));
}

inline __m256i ShiftLeft16(__m256i a, int n)
{
    return _mm256_slli_epi16(a, n);
}

inline __m256i ShiftRight16(__m256i a, int n)
{
    return _mm256_srai_epi16(a, n);
}

// Both copies of a constant row.
inline __m256i LoadLanes(const LaneRow16& row)
{
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(row.v));
}

inline __m256i LoadLanes(const LaneRow32& row)
{
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(row.v));
}

// Four table entries (16-byte aligned) in both halves.
inline __m256 BothFloats(const float* four)
{
    return _mm256_broadcast_ps(reinterpret_cast<const __m128*>(four));
}

inline __m256i AddSat16(__m256i a, const LaneRow32& constant)
{
    return _mm256_adds_epi16(a, LoadLanes(constant));
}

inline __m256i Reversed(__m256i a)
{
    const __m256i order = _mm256_setr_epi8(14, 15, 12, 13, 10, 11, 8, 9, 6, 7, 4, 5, 2, 3, 0, 1,  //
                                           14, 15, 12, 13, 10, 11, 8, 9, 6, 7, 4, 5, 2, 3, 0, 1);
    return _mm256_shuffle_epi8(a, order);
}

template <int ORDER>
__m256i Shuffle16High(__m256i a)
{
    return _mm256_shufflehi_epi16(a, ORDER);
}

inline __m256i InterleavePairs(__m256i a, __m256i b)
{
    return _mm256_unpacklo_epi32(a, b);
}

template <int ORDER>
__m256i Shuffle32(__m256i a)
{
    return _mm256_shuffle_epi32(a, ORDER);
}

// pshufb orders that spread 16-bit lanes i and j through every 32-bit lane.
struct alignas(32) ByteOrder {
    char v[32];
};

constexpr ByteOrder SpreadOrder(int i, int j)
{
    ByteOrder order{};
    for (int k = 0; k < 32; ++k)
        order.v[k] = char(2 * (k % 4 < 2 ? i : j) + k % 2);
    return order;
}

constexpr ByteOrder SPREAD_ORDERS[4] = {SpreadOrder(0, 2), SpreadOrder(4, 6), SpreadOrder(1, 3), SpreadOrder(5, 7)};

inline __m256i Spread(__m256i x, const ByteOrder& order)
{
    return _mm256_shuffle_epi8(x, _mm256_load_si256(reinterpret_cast<const __m256i*>(order.v)));
}

// The inputs of the inverse row sums, X0 X2, X4 X6, X1 X3 and X5 X7, each
// pair in every 32-bit lane, one pshufb each.
inline void SpreadInversePairs(__m256i x, __m256i* e02, __m256i* e46, __m256i* o13, __m256i* o57)
{
    *e02 = Spread(x, SPREAD_ORDERS[0]);
    *e46 = Spread(x, SPREAD_ORDERS[1]);
    *o13 = Spread(x, SPREAD_ORDERS[2]);
    *o57 = Spread(x, SPREAD_ORDERS[3]);
}

inline __m256i MulAdd(__m256i a, const LaneRow16& weights)
{
    return _mm256_madd_epi16(a, LoadLanes(weights));
}

inline __m256i Add32(__m256i a, __m256i b)
{
    return _mm256_add_epi32(a, b);
}

inline __m256i Add32(__m256i a, const LaneRow32& constant)
{
    return _mm256_add_epi32(a, LoadLanes(constant));
}

inline __m256i Sub32(__m256i a, __m256i b)
{
    return _mm256_sub_epi32(a, b);
}

inline __m256i ShiftRight32(__m256i a, int n)
{
    return _mm256_srai_epi32(a, n);
}

inline __m256i Pack32(__m256i a, __m256i b)
{
    return _mm256_packs_epi32(a, b);
}

inline __m256i Scale32(__m256i a, __m256 factors)
{
    return _mm256_cvtps_epi32(_mm256_mul_ps(_mm256_cvtepi32_ps(a), factors));
}

inline __m256i ScaleLanes(__m256i a, const float* four)
{
    return Scale32(a, BothFloats(four));
}

inline __m128i LoadRow(const Block* block, int y)
{
    return _mm_load_si128(reinterpret_cast<const __m128i*>(block->v + 8 * y));
}

// Row y of blocks a and b.
inline __m256i LoadRowPair(const Block* a, const Block* b, int y)
{
    return _mm256_inserti128_si256(_mm256_castsi128_si256(LoadRow(a, y)), LoadRow(b, y), 1);
}

inline void StoreRowPair(Block* a, Block* b, int y, __m256i rows)
{
    _mm_store_si128(reinterpret_cast<__m128i*>(a->v + 8 * y), _mm256_castsi256_si128(rows));
    _mm_store_si128(reinterpret_cast<__m128i*>(b->v + 8 * y), _mm256_extracti128_si256(rows, 1));
}

}  // namespace
