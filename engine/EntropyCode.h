// The fixed variable-length code of one block of quantised coefficients: a
// 12-bit DC, value codes and zero-run codes for the AC coefficients in zigzag
// order, and an end-of-block code.
#pragma once

#include <cstdint>

#include "engine/BitReader.h"
#include "engine/BitWriter.h"
#include "engine/Block.h"

struct CodecInstance;

constexpr int VALUE_CODE_LIMIT = 2559;  // largest AC magnitude with a code
constexpr int VALUE_CODE_COUNT = 2 * VALUE_CODE_LIMIT + 1;
constexpr int DC_LIMIT = 4095;  // the DC travels as 12 unsigned bits
constexpr uint32_t END_OF_BLOCK_CODE = 30;  // 0 1 1 1 1 in stream order
constexpr unsigned END_OF_BLOCK_BITS = 5;
// The longest block: DC, 63 values of 22 bits and the end of block, rounded up.
constexpr uint32_t MAX_BLOCK_BYTES = (12 + 63 * 22 + 5 + 7) / 8;

extern const uint8_t ZigzagOrder[64];

// Fills instance->valueCodes: entry v + 2559 holds the code of v (first stream
// bit in bit 0) in bits 0..23 and its length in bits 24..31.
void BuildValueCodes(CodecInstance* instance);

// Fills instance->zeroRunCodes: entry f (eight zero flags of the coefficients
// after the current one) holds the code in byte 0 and
// zerosCovered * 16 + length in byte 1.
void BuildZeroRunCodes(CodecInstance* instance);

// scan[k] = natural[ZigzagOrder[k]].
void ZigzagReorder(const Block* natural, Block* scan);

using EncodeBlockFn = void (*)(const Block* scan, const CodecInstance* instance, BitWriter* writer);
using DecodeBlockFn = void (*)(BitReader* reader, Block* block);

// One record per kernel family, filled once from the processor's features.
struct EntropyKernels {
    EncodeBlockFn encodeBlock;  // appends one block in scan order
    DecodeBlockFn decodeBlock;  // clears the block, reads one, natural order
};

void InitEntropyKernels(EntropyKernels* kernels, uint32_t cpuFlags);

// The plain twins, written straight from the code tables.
void EncodeBlockPlain(const Block* scan, const CodecInstance* instance, BitWriter* writer);
void DecodeBlockPlain(BitReader* reader, Block* block);
