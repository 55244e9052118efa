// Coding of one macroblock: each of its four blocks, in the order Y left,
// Y right, Cb, Cr, goes completely through transform, quantiser and entropy
// code before the next. There is no macroblock header.
#pragma once

#include "engine/BitReader.h"
#include "engine/BitWriter.h"
#include "engine/Block.h"

struct CodecInstance;

// Appends the four blocks to the writer. The buffer is scratch: afterwards it
// holds the quantised coefficients in natural order, not the samples.
void EncodeMacroblock(const CodecInstance* instance, MacroblockBuffer* buffer, BitWriter* writer);

// Reads four blocks and leaves the reconstructed samples, not clamped, in the
// buffer.
void DecodeMacroblock(const CodecInstance* instance, MacroblockBuffer* buffer, BitReader* reader);
