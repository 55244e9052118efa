// SPDX-License-Identifier: BSD-2-Clause
// What the twins of the block coder share besides the public interface: the
// rules for values the code cannot carry, and the fast paths that
// InitEntropyKernels picks.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(__AVX2__)
#include <immintrin.h>
#endif

#include "entropy/EntropyCode.h"

// The forward path never leaves the code's ranges; anything else is saturated
// so that no value indexes outside valueCodes or spills out of the 12 DC bits.
// Always inlined, as the helpers in BitWriter.h, for the wide kernels' sake.
[[gnu::always_inline]] inline uint32_t ClampDc(int16_t dc)
{
    return dc < 0 ? 0u : dc > DC_LIMIT ? uint32_t(DC_LIMIT) : uint32_t(dc);
}

inline int ClampAc(int16_t v)
{
    return v < -VALUE_CODE_LIMIT ? -VALUE_CODE_LIMIT : v > VALUE_CODE_LIMIT ? VALUE_CODE_LIMIT : v;
}

// Both decoders start from a cleared block. Copying a zero block compiles to
// vector stores; GCC turns a memset of it into `rep stos`, whose start-up
// costs as much as decoding a short block. Built for AVX2, four 32-byte
// stores, half as many as the copy makes.
[[gnu::always_inline]] inline void ClearBlock(Block* block)
{
#if defined(__AVX2__)
    __m256i* v = reinterpret_cast<__m256i*>(block->v);
    for (int i = 0; i < 4; ++i)
        _mm256_storeu_si256(v + i, _mm256_setzero_si256());
#else
    static constexpr Block ZERO_BLOCK{};
    std::memcpy(block, &ZERO_BLOCK, sizeof *block);
#endif
}

// Zero-run entries: byte 1 is zeros covered * 16 + code length.
constexpr unsigned ZERO_RUN_COUNT_SHIFT = 4;
constexpr unsigned ZERO_RUN_LENGTH_MASK = 15;

// The longest code: a value of class 10.
constexpr unsigned LONGEST_CODE_BITS = 22;

// The fast decoders load 8 bytes at a time from at most 8 bytes past the bits
// they have consumed, and stop taking codes once 63 positions are covered:
// after the 12 DC bits, 63 codes of at most 22 bits, from any bit of the first
// byte. They run only with this much data left from the current byte.
constexpr uint32_t FAST_DECODE_MIN_BYTES = MAX_BLOCK_BYTES + 16;
static_assert((7 + 12 + 63 * LONGEST_CODE_BITS + 63) / 8 + 8 <= FAST_DECODE_MIN_BYTES);

// Continues a block at scan position t (1..64) code by code, as
// DecodeBlockPlain does after the DC.
void DecodeCodesPlain(BitReader* reader, int t, Block* block);

// The encoder kernels; each falls back to EncodeNaturalBlockPlain near the end
// of the writer's capacity, so the bytes and the writer's state always match.
void EncodeNaturalBlocksSse2(const Block* blocks, int count, const EntropyTables* tables, BitWriter* writer);
void EncodeNaturalBlocksAvx2(const Block* blocks, int count, const EntropyTables* tables, BitWriter* writer);

// The table-driven decoder, portable C++ and built again for BMI2; both are
// identical to DecodeBlockPlain on every input, corrupt or not.
void DecodeBlocksFast(BitReader* reader, Block* blocks, int count);
void DecodeBlocksAvx2(BitReader* reader, Block* blocks, int count);
