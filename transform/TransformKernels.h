// SPDX-License-Identifier: BSD-2-Clause
// The fixed-point 8x8 transforms and the float quantiser, as one kernel family.
#pragma once

#include <cstdint>

#include "platform/Block.h"

using TransformFn = void (*)(Block* block);
using ScaleFn = void (*)(Block* block, const float* table);  // table: 64 floats, 16-byte aligned
// Two neighbouring blocks, pair[0] and pair[1], with one table: the luma pair
// or Cb and Cr of a macroblock.
using BlockPairFn = void (*)(Block* pair, const float* table);

struct TransformKernels {
    TransformFn forwardDct;  // samples -> coefficients, in place
    TransformFn inverseDct;  // coefficients -> samples, in place, not clamped
    ScaleFn quantize;        // multiply by reciprocals, round ties to even, saturate
    ScaleFn dequantize;      // multiply by step sizes, same rounding
    // What the coders run, with the same results: both blocks through
    // forwardDct then quantize, or through dequantize then inverseDct.
    BlockPairFn forwardPair;  // table: reciprocals
    BlockPairFn inversePair;  // table: step sizes
};

void InitTransformKernels(TransformKernels* kernels, uint32_t cpuFlags);

void ForwardDctPlain(Block* block);
void InverseDctPlain(Block* block);
void QuantizePlain(Block* block, const float* reciprocals);
void DequantizePlain(Block* block, const float* scales);
void ForwardPairPlain(Block* pair, const float* reciprocals);
void InversePairPlain(Block* pair, const float* scales);
