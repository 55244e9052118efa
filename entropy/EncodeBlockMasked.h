// SPDX-License-Identifier: BSD-2-Clause
// The common part of the fast block encoders. Given a natural-order block
// inside the code's range and the non-zero flags of its AC coefficients in
// scan order, it visits only the non-zero coefficients: the zeros in front of
// each become one code from a small table, joined to the coefficient's value
// code. Codes gather in a register and leave as whole 8-byte stores that also
// clear the bytes ahead, as PutBits does; on 64-bit targets most pairs of
// coefficients leave with one store.
//
// Each instruction-set file includes this with its own compiler flags; the
// unnamed namespace keeps every file's copy to itself, and plain arrays keep
// library templates from being instantiated with those flags.
#pragma once

#include <type_traits>

#include "entropy/EntropyInternal.h"

namespace {

// After a flush at most 7 bits are pending; a 64-bit register then takes the
// longest gap code and a value code (7 + 20 + 22 bits) before the next flush,
// a 32-bit one takes either (7 + 22).
using CodeWord = std::conditional_t<(sizeof(void*) >= 8), uint64_t, uint32_t>;
constexpr bool JOIN_GAP_AND_VALUE = sizeof(CodeWord) == 8;

// A gap longer than the tables' (at most 62 zeros) first sends three runs
// of nine.
constexpr unsigned LONG_GAP_STEP = 27;
static_assert(62 - LONG_GAP_STEP <= LONGEST_TABLED_GAP);

struct CodeSink {
    CodeWord bits;  // `used` pending bits, zeros above them
    unsigned used;
    uint8_t* out;  // the byte holding the first pending bit
};

inline void AddCode(CodeSink* sink, CodeWord code, unsigned length)
{
    sink->bits |= code << sink->used;
    sink->used += length;
}

// Stores the pending bits with zeros after them, then keeps the partial byte.
inline void Flush(CodeSink* sink)
{
    StoreLE64(sink->out, sink->bits);
    sink->out += sink->used / 8;
    sink->bits >>= sink->used & ~7u;
    sink->used &= 7;
}

inline void AddGap(CodeSink* sink, const EntropyTables* tables, unsigned gap)
{
    AddCode(sink, tables->gapCodes[gap], tables->gapLengths[gap]);
    Flush(sink);
}

inline unsigned LowestSetBit(uint64_t x)
{
    return unsigned(__builtin_ctzll(x));
}

// A sink on the writer's current position, holding the bits already written
// in its byte.
inline CodeSink SinkAt(const BitWriter* writer)
{
    const unsigned start = writer->position % 8;
    return CodeSink{CodeWord(writer->buffer[writer->position / 8] & ((1u << start) - 1)), start,
                    writer->buffer + writer->position / 8};
}

// Stores the pending bits, with zeros after them, and moves the writer on.
inline void Finish(CodeSink* sink, BitWriter* writer)
{
    StoreLE64(sink->out, sink->bits);
    writer->position = uint32_t(sink->out - writer->buffer) * 8 + sink->used;
}

// A code and its length, as they join in a CodeWord.
struct Code {
    CodeWord bits;
    unsigned length;
};

// The tabled gap before scan coefficient k, which follows coefficient t - 1.
// A gap too long for the tables first sends runs of its own, so the sink
// must hold no other pending code then.
inline unsigned GapBefore(CodeSink* sink, const EntropyTables* tables, unsigned k, unsigned* t)
{
    unsigned gap = k - *t;
    *t = k + 1;
    if (gap > LONGEST_TABLED_GAP) {
        AddGap(sink, tables, LONG_GAP_STEP);
        gap -= LONG_GAP_STEP;
    }
    return gap;
}

// The zeros before scan coefficient k and the coefficient's value, as one
// code.
inline Code GapAndValue(CodeSink* sink, const int16_t* natural, const EntropyTables* tables, unsigned k, unsigned* t)
{
    const unsigned gap = GapBefore(sink, tables, k, t);
    const int value = natural[ZigzagOrder[k]];
    const unsigned gapLength = tables->gapLengths[gap];
    return Code{tables->gapCodes[gap] | CodeWord((tables->valueCodes + VALUE_CODE_LIMIT)[value]) << gapLength,
                gapLength + (tables->valueLengths + VALUE_CODE_LIMIT)[value]};
}

// Two codes whose lengths add up to this many bits join before one flush:
// with the 7 bits a flush may leave, they fill at most 63 of a 64-bit sink,
// so the flush never shifts by the register's width.
constexpr unsigned LONGEST_JOINED_PAIR = 56;

// `natural` holds the block with every AC value in the code's range;
// `nonZero` has bit k set when scan coefficient k (1..63) is non-zero.
[[gnu::always_inline]] inline void AddMaskedBlock(CodeSink* sink, const int16_t* natural, uint32_t dc,
                                                  uint64_t nonZero, const EntropyTables* tables)
{
    AddCode(sink, dc, 12);
    Flush(sink);
    unsigned t = 1;
    while (nonZero) {
        const unsigned k = LowestSetBit(nonZero);
        nonZero &= nonZero - 1;
        if constexpr (JOIN_GAP_AND_VALUE) {
            Code code = GapAndValue(sink, natural, tables, k, &t);
            // The next coefficient joins this one before one flush when its
            // gap needs no runs of its own and their codes fit together.
            if (nonZero && LowestSetBit(nonZero) - t <= LONGEST_TABLED_GAP) {
                const Code next = GapAndValue(sink, natural, tables, LowestSetBit(nonZero), &t);
                nonZero &= nonZero - 1;
                if (code.length + next.length <= LONGEST_JOINED_PAIR) {
                    code = Code{code.bits | next.bits << code.length, code.length + next.length};
                } else {
                    AddCode(sink, code.bits, code.length);
                    Flush(sink);
                    code = next;
                }
            }
            AddCode(sink, code.bits, code.length);
        } else {
            AddGap(sink, tables, GapBefore(sink, tables, k, &t));
            const int value = natural[ZigzagOrder[k]] + VALUE_CODE_LIMIT;
            AddCode(sink, tables->valueCodes[value], tables->valueLengths[value]);
        }
        Flush(sink);
    }
    // At most 7 + 5 bits stay pending: the next block's DC joins them before
    // the next flush.
    AddCode(sink, END_OF_BLOCK_CODE, END_OF_BLOCK_BITS);
}

// Codes `count` blocks, each inside the code's range, with the flags given.
// Out of line, so that the loops over the blocks and their coefficients have
// the registers to themselves: the sink stays in them from the first block
// to the last.
[[gnu::noinline]] void AddMaskedBlocks(const Block* blocks, const uint64_t* nonZero, int count,
                                       const EntropyTables* tables, BitWriter* writer)
{
    CodeSink sink = SinkAt(writer);
    for (int i = 0; i < count; ++i)
        AddMaskedBlock(&sink, blocks[i].v, ClampDc(blocks[i].v[0]), nonZero[i], tables);
    Finish(&sink, writer);
}

// Blocks whose flags are found before any of them is coded: a block's end
// is a branch the processor cannot foresee, and with the next flags already
// at hand the coding resumes at once after it.
constexpr int FLAGS_AHEAD = 4;

// Codes `count` natural-order blocks with one sink, so that the bits stay in
// a register from block to block. `nonZeroFlags(block, &nonZero)` gives a
// block's non-zero flags in scan order, or false when a value lies outside
// the code's range; such a block, and every block near the end of the
// writer's capacity, goes through the plain encoder, which saturates and
// records the overflow.
template <typename NonZeroFlags>
inline void EncodeMaskedBlocks(const Block* blocks, int count, const EntropyTables* tables, BitWriter* writer,
                               NonZeroFlags nonZeroFlags)
{
    int k = 0;
    while (k < count) {
        if (!HasRoom(writer, uint32_t(count - k) * MAX_BLOCK_BYTES)) {
            for (; k < count; ++k)
                EncodeNaturalBlockPlain(&blocks[k], tables, writer);
            return;
        }
        const int ahead = count - k < FLAGS_AHEAD ? count - k : FLAGS_AHEAD;
        uint64_t nonZero[FLAGS_AHEAD];
        int inRange = 0;
        while (inRange < ahead && nonZeroFlags(&blocks[k + inRange], &nonZero[inRange]))
            ++inRange;
        AddMaskedBlocks(blocks + k, nonZero, inRange, tables, writer);
        k += inRange;
        if (inRange < ahead)
            EncodeNaturalBlockPlain(&blocks[k++], tables, writer);
    }
}

}  // namespace
