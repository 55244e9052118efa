// SPDX-License-Identifier: BSD-2-Clause
// One slice of a field: its 24-bit length, then the macroblocks of its bands
// as the slice loop for the pixel layout codes them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "entropy/BitWriter.h"

struct CodecInstance;

// Codes slice k at the writer's position (a byte boundary) and leaves the
// writer on the next byte boundary. False when the slice's length does not fit
// 24 bits.
bool EncodeSlice(const CodecInstance* instance, BitWriter* writer, const uint8_t* firstLine, ptrdiff_t stride,
                 int slice, uint32_t pixelFormat);

// Decodes slice k from `data` (its length bytes first; `size` bytes may be
// read) into the field at `firstLine`. Every macroblock of the slice is
// visited whatever the data holds. Returns true when the slice is damaged:
// its macroblocks did not end in its last byte (they needed bits beyond its
// data, or left whole bytes of it unread).
bool DecodeSlice(const CodecInstance* instance, const uint8_t* data, uint32_t size, uint8_t* firstLine,
                 ptrdiff_t stride, int slice, uint32_t pixelFormat);
