// SPDX-License-Identifier: BSD-2-Clause
// The fast block decoder. A window over the stream feeds one table indexed by
// its next 11 bits. An entry stands for the codes at the front of those bits:
// whole zero codes and values, and last a value whose class (its leading
// 1^k 0, or 1^10) lies inside them even when its sign and mantissa run past
// the eleventh bit; so any code can start an entry, and a typical block takes
// four lookups. Up to two values come ready-made from the entry; the last one
// is computed from the window, where the entry says its sign and mantissa
// lie. Every entry is applied the same way, with three stores: a store that
// has no value of its own writes 0 where no value can be yet, or is
// overwritten by a later one.
//
// Entries are applied whole only while no code in them can end the block
// early (t + covered positions <= 63); from there the plain decoder takes the
// block to its end code by code, following its rules for corrupt data exactly.
//
// Each instruction-set file includes this with its own compiler flags; the
// unnamed namespace keeps every file's copy to itself.
#pragma once

#include <cstddef>
#include <type_traits>

#include "entropy/EntropyInternal.h"

constexpr unsigned DECODE_INDEX_BITS = 11;

// Added to an entry's advance when it ends with the end of block: t passes
// every position, the next entry's check fails and the loop ends.
constexpr uint8_t END_OF_BLOCK_ADVANCE = 128;
constexpr uint8_t COVERED_MASK = END_OF_BLOCK_ADVANCE - 1;

struct DecodeEntry {
    uint8_t length;   // bits consumed, at most 22
    uint8_t advance;  // scan positions covered, plus END_OF_BLOCK_ADVANCE
    // Scan offsets from t of the computed value and of the two ready values,
    // stored in this order. Without a computed value offsetA = offsetC; an
    // unused ready value is 0 at offset `covered`.
    uint8_t offsetA;
    uint8_t offsetB;
    uint8_t offsetC;
    int8_t valueB;
    int8_t valueC;
    // The computed value: its sign and mantissa are the shape >> 4 window
    // bits from bit (shape & 15). Without one the shape is 0.
    uint8_t shape;
};

// The sign and mantissa of a value code, n bits, under a leading 1 bit: entry
// 2^n + bits of `values` holds the value. n is 1..9 for classes 1..9, 12 for
// class 10; entry 1 (no bits) holds 0.
constexpr unsigned LONGEST_VALUE_BITS = 12;

// Everything the decoder looks up, in one record so that one register holds
// its address.
struct DecodeTables {
    DecodeEntry entries[1 << DECODE_INDEX_BITS];
    uint8_t zigzag[64];  // ZigzagOrder
    int16_t values[2 << LONGEST_VALUE_BITS];
};

extern const DecodeTables DECODE_TABLES;

namespace {

// A 64-bit window refilled every two entries (at most 44 bits), a 32-bit one
// on 32-bit processors refilled before each (at most 22 bits).
using WindowWord = std::conditional_t<(sizeof(void*) >= 8), uint64_t, uint32_t>;
constexpr unsigned WINDOW_BITS = 8 * sizeof(WindowWord);
constexpr bool TWO_ENTRIES_PER_REFILL = WINDOW_BITS == 64;
static_assert((TWO_ENTRIES_PER_REFILL ? 2 : 1) * LONGEST_CODE_BITS <= WINDOW_BITS - 8);
// Two entries leave the 64-bit window with the index bits of the next one.
static_assert(!TWO_ENTRIES_PER_REFILL || WINDOW_BITS - 8 - 2 * LONGEST_CODE_BITS >= DECODE_INDEX_BITS);

// `count` valid stream bits from the current one; the bits above them are the
// stream's too, or zeros. `next` is the byte after the last one loaded.
struct Window {
    WindowWord bits;
    unsigned count;
    const uint8_t* next;
};

inline WindowWord LoadWord(const uint8_t* p)
{
    if constexpr (WINDOW_BITS == 64)
        return LoadLE64(p);
    else
        return LoadLE32(p);
}

// Tops the window up to at least WINDOW_BITS - 8 bits with whole bytes; bits
// loaded twice are the same stream bits, so OR-ing them again changes nothing.
inline void Refill(Window* w)
{
    w->bits |= LoadWord(w->next) << w->count;
    w->next += (WINDOW_BITS - 1 - w->count) / 8;
    w->count |= WINDOW_BITS - 8;
}

inline void Consume(Window* w, unsigned n)
{
    w->bits >>= n;
    w->count -= n;
}

// One lookup instead of the arithmetic of sign, class and mantissa: half the
// instructions, and the hot part of the table is its first 2 KB.
inline int16_t ComputedValue(const DecodeEntry& e, WindowWord bits)
{
    const WindowWord x = bits >> (e.shape & 15);
    const unsigned n = e.shape >> 4;
    return DECODE_TABLES.values[(x & ((WindowWord(1) << n) - 1)) | WindowWord(1) << n];
}

// Applies the entry for the window's front bits `front`; false, leaving
// everything as it was, when the block might end inside it. Positions of the
// pointer's width index the tables without a sign or zero extension. The
// positions after a whole entry, with or without the end of block, are
// 0..63 and 128..191: one test of bits 6 and 8 up tells them from the rest.
inline bool TakeEntry(Window* w, WindowWord front, size_t* t, int16_t* v)
{
    const DecodeEntry& e = DECODE_TABLES.entries[front & ((1u << DECODE_INDEX_BITS) - 1)];
    const size_t next = *t + e.advance;
    static_assert(END_OF_BLOCK_ADVANCE == 128);
    if (next > 63 && (next < END_OF_BLOCK_ADVANCE || next > END_OF_BLOCK_ADVANCE + 63)) [[unlikely]]
        return false;
    v[DECODE_TABLES.zigzag[*t + e.offsetA]] = ComputedValue(e, w->bits);
    v[DECODE_TABLES.zigzag[*t + e.offsetB]] = e.valueB;
    v[DECODE_TABLES.zigzag[*t + e.offsetC]] = e.valueC;
    *t = next;
    Consume(w, e.length);
    return true;
}

// A window on the reader's data from its current position.
inline Window WindowAt(const BitReader* reader)
{
    Window w{0, 0, reader->buffer + reader->position / 8};
    Refill(&w);
    Consume(&w, reader->position % 8);
    return w;
}

inline uint32_t PositionOf(const Window& w, const BitReader* reader)
{
    return uint32_t(w.next - reader->buffer) * 8 - w.count;
}

// Whether a block that starts at `position` may be taken through the window.
inline bool RoomForWindow(const BitReader* reader, uint32_t position)
{
    return position / 8 <= reader->size && reader->size - position / 8 >= FAST_DECODE_MIN_BYTES;
}

// Takes one block's DC and entries from the window. Returns t: at least
// END_OF_BLOCK_ADVANCE when the block ended, otherwise the scan position from
// which the plain decoder must go on.
inline size_t TakeBlock(Window* w, Block* block)
{
    ClearBlock(block);
    Refill(w);
    block->v[0] = int16_t(w->bits & 0xFFF);
    Consume(w, 12);
    size_t t = 1;
    for (;;) {
        // The 64-bit window holds the index bits before the refill: taking
        // them from there keeps the refill off the path from one table load
        // to the next. The end of the block is told by the entry that holds
        // it, not by the lookup after it, so that a mispredicted end is
        // found one table load sooner.
        const WindowWord front = w->bits;
        Refill(w);
        if (!TakeEntry(w, TWO_ENTRIES_PER_REFILL ? front : w->bits, &t, block->v) || t >= END_OF_BLOCK_ADVANCE)
            break;
        if (TWO_ENTRIES_PER_REFILL && (!TakeEntry(w, w->bits, &t, block->v) || t >= END_OF_BLOCK_ADVANCE))
            break;
    }
    return t;
}

// Blocks that follow one another in the stream share one window: the next
// block's DC is already in it, and the reader's position is written once.
inline void DecodeBlocksWithTable(BitReader* reader, Block* blocks, int count)
{
    int k = 0;
    while (k < count && RoomForWindow(reader, reader->position)) {
        Window w = WindowAt(reader);
        size_t t;
        do {
            t = TakeBlock(&w, &blocks[k++]);
        } while (t >= END_OF_BLOCK_ADVANCE && k < count && RoomForWindow(reader, PositionOf(w, reader)));
        reader->position = PositionOf(w, reader);
        if (t < END_OF_BLOCK_ADVANCE)
            DecodeCodesPlain(reader, int(t), &blocks[k - 1]);
    }
    for (; k < count; ++k)
        DecodeBlockPlain(reader, &blocks[k]);
}

}  // namespace
