// SPDX-License-Identifier: BSD-2-Clause
// Least-significant-bit-first bit writer. Stream bit i is bit (i mod 8) of byte
// (i div 8). Every write clears the bits ahead of it up to the end of byte
// position/8 + 7 ("cleared ahead"), so fill bits are always zero and nothing
// needs clearing before it is written.
//
// The writer knows how many bytes it may touch (`capacity`). A write whose
// 8-byte reach would pass that limit is not made; it sets `overflow` and only
// advances the position, so the caller can report the field as not fitting.
#pragma once

#include <cstdint>
#include <cstring>

struct BitWriter {
    uint32_t position;  // bits written so far, from the start of buffer
    uint8_t* buffer;
    uint32_t capacity;  // bytes from buffer that may be touched
    bool overflow;
};

// Bytes a write at byte b may touch: the merged word and the cleared word.
constexpr uint32_t BIT_WRITER_REACH = 8;

// The helpers the wide kernels use are always inlined: those files are built
// for other instruction sets, and an out-of-line copy left there could be the
// one the linker keeps for every caller.
[[gnu::always_inline]] inline uint32_t LoadLE32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap32(v);
#endif
    return v;
}

[[gnu::always_inline]] inline void StoreLE32(uint8_t* p, uint32_t v)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap32(v);
#endif
    std::memcpy(p, &v, 4);
}

// Compilers merge the halves into one 8-byte access.
[[gnu::always_inline]] inline uint64_t LoadLE64(const uint8_t* p)
{
    return LoadLE32(p) | uint64_t(LoadLE32(p + 4)) << 32;
}

[[gnu::always_inline]] inline void StoreLE64(uint8_t* p, uint64_t v)
{
    StoreLE32(p, uint32_t(v));
    StoreLE32(p + 4, uint32_t(v >> 32));
}

inline uint32_t LoadLE24(const uint8_t* p)
{
    return p[0] | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
}

inline void StoreLE24(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
}

// Starts at position 0 and clears the first 16 bytes (fewer if the capacity is
// smaller).
inline void Reset(BitWriter* w, uint8_t* buffer, uint32_t capacity)
{
    w->position = 0;
    w->buffer = buffer;
    w->capacity = capacity;
    w->overflow = false;
    std::memset(buffer, 0, capacity < 16 ? capacity : 16);
}

// Appends the low n bits of value (1 <= n <= 25; value < 2^n).
inline void PutBits(BitWriter* w, uint32_t value, unsigned n)
{
    const uint32_t b = w->position / 8;
    const unsigned s = w->position % 8;
    if (w->capacity < BIT_WRITER_REACH || b > w->capacity - BIT_WRITER_REACH) {
        w->overflow = true;
    } else {
        uint8_t* p = w->buffer + b;
        const uint32_t kept = LoadLE32(p) & ((1u << s) - 1);
        StoreLE32(p, kept | (value << s));
        StoreLE32(p + 4, 0);
    }
    w->position += n;
}

inline uint32_t BytesUsed(const BitWriter* w)
{
    return (w->position + 7) / 8;
}

// True when a write of up to `bytes` more bytes from the current position,
// plus the writer's reach, stays inside the capacity.
[[gnu::always_inline]] inline bool HasRoom(const BitWriter* w, uint32_t bytes)
{
    const uint64_t need = uint64_t(w->position / 8) + bytes + BIT_WRITER_REACH;
    return need <= w->capacity;
}

inline void SetPosition(BitWriter* w, uint32_t position)
{
    w->position = position;
}
