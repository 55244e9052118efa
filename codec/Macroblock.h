// SPDX-License-Identifier: BSD-2-Clause
// Coding of one macroblock: its four blocks are coded in the order Y left,
// Y right, Cb, Cr, with no macroblock header. The transforms take the blocks
// in pairs (the luma pair, then Cb and Cr), which wide kernels hold side by
// side. The encoder transforms a pair just before its blocks are coded, so
// that the processor can overlap it with the entropy code around it; the
// decoder reads all four blocks in one call, which keeps its window on the
// stream from block to block, then transforms the pairs.
#pragma once

#include "entropy/BitReader.h"
#include "entropy/BitWriter.h"
#include "platform/Block.h"

struct CodecInstance;

// Appends the four blocks to the writer. The buffer is scratch: afterwards it
// holds the quantised coefficients in natural order, not the samples.
void EncodeMacroblock(const CodecInstance* instance, MacroblockBuffer* buffer, BitWriter* writer);

// Reads four blocks and leaves the reconstructed samples, not clamped, in the
// buffer.
void DecodeMacroblock(const CodecInstance* instance, MacroblockBuffer* buffer, BitReader* reader);
