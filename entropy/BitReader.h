// SPDX-License-Identifier: BSD-2-Clause
// Least-significant-bit-first bit reader over a buffer of known size. It never
// reads outside [buffer, buffer + size): bits past the end read as zero, and a
// corrupt stream that skips far ahead only keeps reading zeros.
#pragma once

#include <cstdint>

#include "entropy/BitWriter.h"

struct BitReader {
    uint32_t position;  // bits consumed so far, from the start of buffer
    const uint8_t* buffer;
    uint32_t size;  // bytes that may be read
};

inline void Reset(BitReader* r, const uint8_t* buffer, uint32_t size)
{
    r->position = 0;
    r->buffer = buffer;
    r->size = size;
}

// The little-endian 32-bit word at byte b, with bytes past the end as zero.
inline uint32_t LoadWordAt(const BitReader* r, uint32_t b)
{
    if (r->size >= 4 && b <= r->size - 4)
        return LoadLE32(r->buffer + b);
    uint32_t v = 0;
    for (uint32_t i = 0; i < 4 && b < r->size && i < r->size - b; ++i)
        v |= uint32_t(r->buffer[b + i]) << (8 * i);
    return v;
}

// The next n bits (1 <= n <= 25) without consuming them.
inline uint32_t PeekBits(const BitReader* r, unsigned n)
{
    const uint32_t word = LoadWordAt(r, r->position / 8) >> (r->position % 8);
    return word & ((1u << n) - 1);
}

inline void SkipBits(BitReader* r, unsigned n)
{
    r->position += n;
}

inline uint32_t GetBits(BitReader* r, unsigned n)
{
    const uint32_t v = PeekBits(r, n);
    SkipBits(r, n);
    return v;
}

inline uint32_t BytesUsed(const BitReader* r)
{
    return (r->position + 7) / 8;
}

inline void Rewind(BitReader* r)
{
    r->position = 0;
}

inline void SetPosition(BitReader* r, uint32_t position)
{
    r->position = position;
}

// True once the reader has consumed bits beyond its data.
inline bool PastEnd(const BitReader* r)
{
    return uint64_t(r->position) > uint64_t(r->size) * 8;
}
