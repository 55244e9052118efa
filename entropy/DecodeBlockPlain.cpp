// SPDX-License-Identifier: BSD-2-Clause
// The block decoder read code by code with PeekBits: the reference for the
// fast decoders, the path near the end of a slice's data, where the bounded
// reader supplies zeros past the end, and the fast decoders' way through the
// last scan positions of a block.
//
// Corrupt data cannot make it write outside the block: a zero code that
// carries t past 63 ends the block, and so does a value code read at t = 64
// (after a value at position 63 only the end of block is valid). Each code
// covers at least one position, so a block never takes more than 64 codes.
#include <algorithm>

#include "entropy/EntropyInternal.h"

namespace {

// Value codes: 1^k 0 s m(k - 1 bits) for classes k = 1..9, 1^10 s e(11 bits).
constexpr unsigned LONGEST_CLASS = 10;

unsigned TrailingOnes(uint32_t bits, unsigned limit)
{
    unsigned k = 0;
    while (k < limit && (bits >> k & 1))
        ++k;
    return k;
}

}  // namespace

void DecodeCodesPlain(BitReader* reader, int t, Block* block)
{
    // Past the end every bit reads as zero, a run of one zero each two bits
    // until the block is full: what a cut slice's remaining blocks read, taken
    // at once rather than code by code.
    if (reader->position / 8 >= reader->size) {
        SkipBits(reader, 2 * unsigned(std::max(1, 64 - t)));
        return;
    }
    for (;;) {
        const uint32_t bits = PeekBits(reader, LONGEST_CODE_BITS);
        if (!(bits & 1)) {
            if (!(bits & 2)) {  // [0 0]
                SkipBits(reader, 2);
                t += 1;
            } else {  // [0 1 r0 r1 r2]
                SkipBits(reader, 5);
                const unsigned r = bits >> 2 & 7;
                if (r == 7)
                    return;
                t += int(r) + 3;
            }
            if (t > 63)
                return;
            continue;
        }
        const unsigned k = TrailingOnes(bits, LONGEST_CLASS);
        const unsigned signBit = k < LONGEST_CLASS ? k + 1 : LONGEST_CLASS;
        const unsigned mantissaBits = k < LONGEST_CLASS ? k - 1 : 11;
        const unsigned smallest = k < LONGEST_CLASS ? 1u << (k - 1) : 512u;
        const unsigned mantissa = bits >> (signBit + 1) & ((1u << mantissaBits) - 1);
        const int magnitude = int(smallest + mantissa);
        SkipBits(reader, signBit + 1 + mantissaBits);
        if (t > 63)
            return;
        block->v[ZigzagOrder[t]] = int16_t(bits >> signBit & 1 ? -magnitude : magnitude);
        ++t;
    }
}

void DecodeBlockPlain(BitReader* reader, Block* block)
{
    ClearBlock(block);
    block->v[0] = int16_t(GetBits(reader, 12));
    DecodeCodesPlain(reader, 1, block);
}

void DecodeBlocksPlain(BitReader* reader, Block* blocks, int count)
{
    for (int k = 0; k < count; ++k)
        DecodeBlockPlain(reader, &blocks[k]);
}
