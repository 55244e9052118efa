// SPDX-License-Identifier: BSD-2-Clause
// AVX2 helpers shared by the UYVY and RGB kernels; include only from
// *Avx2.cpp files. The wide kernels move two macroblock lines at a time: the
// low 128-bit lane of every vector belongs to line r, the high lane to line
// r + 1. Lane-wise instructions then treat both lines as the SSE2 kernels
// treat one, and rows r and r + 1 of a block are one 32-byte unit.
//
// Everything here has internal linkage: an inline function built for AVX2
// must never stand in for a copy that an SSE2 file expects.
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "pixels/Staging.h"
#include "platform/Block.h"

namespace {

// The 16 bytes at `offset` of lines r and r + 1.
inline __m256i LoadLinePair(const uint8_t* line, ptrdiff_t stride, int offset)
{
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + offset));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + stride + offset));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(first), second, 1);
}

// Rows `row` and `row + 1` of one block.
inline __m256i LoadRowPair(const MacroblockBuffer* buffer, int block, int row)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(buffer->block[block].v + 8 * row));
}

inline void StoreRowPair(MacroblockBuffer* buffer, int block, int row, __m256i rows)
{
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(buffer->block[block].v + 8 * row), rows);
}

// Non-temporal prefetch of bytes further along a picture line; the address
// is formed as an integer because it may lie past the end of the picture.
inline void PrefetchLineAhead(const uint8_t* line, uintptr_t offset)
{
    _mm_prefetch(reinterpret_cast<const char*>(reinterpret_cast<uintptr_t>(line) + offset),
                 _MM_HINT_NTA);
}

// A byte shuffle control; indexes with the top bit set yield zero bytes.
struct alignas(32) ByteControl {
    int8_t bytes[32];
};

constexpr int8_t ZERO_BYTE = -128;

inline __m256i LoadControl(const ByteControl& control)
{
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(control.bytes));
}

}  // namespace
