// What the twins of the block coder share besides the public interface: the
// rules for values the code cannot carry, and the fast paths that
// InitEntropyKernels picks.
#pragma once

#include <cstdint>
#include <cstring>

#include "engine/EntropyCode.h"

// The forward path never leaves the code's ranges; anything else is saturated
// so that no value indexes outside valueCodes or spills out of the 12 DC bits.
inline uint32_t ClampDc(int16_t dc)
{
    return dc < 0 ? 0u : dc > DC_LIMIT ? uint32_t(DC_LIMIT) : uint32_t(dc);
}

inline int ClampAc(int16_t v)
{
    return v < -VALUE_CODE_LIMIT ? -VALUE_CODE_LIMIT : v > VALUE_CODE_LIMIT ? VALUE_CODE_LIMIT : v;
}

// Both decoders start from a cleared block. Copying a zero block compiles to
// eight vector stores; GCC turns a memset of it into `rep stos`, whose start-up
// costs as much as decoding a short block.
inline void ClearBlock(Block* block)
{
    static constexpr Block ZERO_BLOCK{};
    std::memcpy(block, &ZERO_BLOCK, sizeof *block);
}

// Code word fields of a valueCodes entry.
constexpr uint32_t VALUE_CODE_MASK = 0xFFFFFF;
constexpr unsigned VALUE_LENGTH_SHIFT = 24;

// Zero-run entries: byte 1 is zeros covered * 16 + code length.
constexpr unsigned ZERO_RUN_COUNT_SHIFT = 4;
constexpr unsigned ZERO_RUN_LENGTH_MASK = 15;

// The fast decoder reads whole words up to 8 bytes past a block's last bit, and
// a corrupt block reads at most one code more than the longest valid one; it
// runs only with this much data left from the current byte.
constexpr uint32_t FAST_DECODE_MIN_BYTES = MAX_BLOCK_BYTES + 16;

// Needs SSE2; bit-identical to EncodeBlockPlain, writer state included.
void EncodeBlockSse2(const Block* scan, const CodecInstance* instance, BitWriter* writer);

// Portable; identical to DecodeBlockPlain on every input, corrupt or not.
void DecodeBlockFast(BitReader* reader, Block* block);
