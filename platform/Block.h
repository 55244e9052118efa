// SPDX-License-Identifier: BSD-2-Clause
// Blocks and macroblocks: the units the transform, quantiser and entropy coder
// work on. Samples and coefficients are signed 16-bit, rows of eight are one
// 128-bit vector, so every block is 16-byte aligned.
#pragma once

#include <cstdint>

struct alignas(16) Block {
    int16_t v[64];  // row-major: index = row * 8 + column
};

// One 16x8 macroblock of a field in 4:2:2: two luma blocks side by side, then
// Cb and Cr. Row r of every block is line r of the macroblock.
enum : int { BLOCK_Y_LEFT = 0, BLOCK_Y_RIGHT = 1, BLOCK_CB = 2, BLOCK_CR = 3 };

struct alignas(16) MacroblockBuffer {
    Block block[4];
};
