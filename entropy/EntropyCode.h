// SPDX-License-Identifier: BSD-2-Clause
// The fixed variable-length code of one block of quantised coefficients: a
// 12-bit DC, value codes and zero-run codes for the AC coefficients in zigzag
// order, and an end-of-block code.
#pragma once

#include <cstdint>

#include "entropy/BitReader.h"
#include "entropy/BitWriter.h"
#include "platform/Block.h"

constexpr int VALUE_CODE_LIMIT = 2559;  // largest AC magnitude with a code
constexpr int VALUE_CODE_COUNT = 2 * VALUE_CODE_LIMIT + 1;
constexpr int DC_LIMIT = 4095;  // the DC travels as 12 unsigned bits
constexpr uint32_t END_OF_BLOCK_CODE = 30;  // 0 1 1 1 1 in stream order
constexpr unsigned END_OF_BLOCK_BITS = 5;
// The longest block: DC, 63 values of 22 bits and the end of block, rounded up.
constexpr uint32_t MAX_BLOCK_BYTES = (12 + 63 * 22 + 5 + 7) / 8;

// Scan position k holds the coefficient at natural index ZigzagOrder[k].
inline constexpr uint8_t ZigzagOrder[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
    12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
    35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
    58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

// Gaps of up to this many zeros before a coefficient have one entry in the
// encoder's gap tables; they cost at most 20 bits.
constexpr unsigned LONGEST_TABLED_GAP = 36;

// The encoder's code tables, built once per instance. Codes and lengths lie
// apart, so that neither needs a mask or a shift, and in one record, so that
// the fast encoders reach all of them from one register.
struct EntropyTables {
    uint32_t valueCodes[VALUE_CODE_COUNT];
    uint8_t valueLengths[VALUE_CODE_COUNT];
    uint8_t zeroRunCodes[256][2];
    // The codes of `g` zeros before a non-zero coefficient, as the greedy
    // runs of EncodeBlockPlain produce them.
    uint32_t gapCodes[LONGEST_TABLED_GAP + 1];
    uint8_t gapLengths[LONGEST_TABLED_GAP + 1];
};

// Fills tables->valueCodes and valueLengths: entry v + 2559 holds the code of
// v (first stream bit in bit 0) and its length.
void BuildValueCodes(EntropyTables* tables);

// Fills tables->zeroRunCodes: entry f (eight zero flags of the coefficients
// after the current one) holds the code in byte 0 and
// zerosCovered * 16 + length in byte 1; and the gap tables.
void BuildZeroRunCodes(EntropyTables* tables);

// scan[k] = natural[ZigzagOrder[k]].
void ZigzagReorder(const Block* natural, Block* scan);

using EncodeBlocksFn = void (*)(const Block* blocks, int count, const EntropyTables* tables, BitWriter* writer);
using DecodeBlocksFn = void (*)(BitReader* reader, Block* blocks, int count);

// One record per kernel family, filled once from the processor's features.
struct EntropyKernels {
    // Appends the codes of `count` natural-order blocks: the zigzag scan and
    // the block code in one pass, so the fast kernels never build the
    // scan-order copy.
    EncodeBlocksFn encodeNaturalBlocks;
    // Reads `count` blocks that follow one another in the stream, each cleared
    // first and written in natural order.
    DecodeBlocksFn decodeBlocks;
};

void InitEntropyKernels(EntropyKernels* kernels, uint32_t cpuFlags);

// The block code written straight from the code tables, for a block already
// in scan order: the reference every encoder kernel must match.
void EncodeBlockPlain(const Block* scan, const EntropyTables* tables, BitWriter* writer);

// The plain twins in the kernel table: ZigzagReorder then EncodeBlockPlain,
// and the decoder read code by code.
void EncodeNaturalBlockPlain(const Block* natural, const EntropyTables* tables, BitWriter* writer);
void EncodeNaturalBlocksPlain(const Block* blocks, int count, const EntropyTables* tables, BitWriter* writer);
void DecodeBlockPlain(BitReader* reader, Block* block);
void DecodeBlocksPlain(BitReader* reader, Block* blocks, int count);
