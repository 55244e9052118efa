// SPDX-License-Identifier: BSD-2-Clause
// Format negotiation: which uncompressed pictures the codec takes, what the
// compressed format looks like, how large a frame can be, and the BEGIN
// messages that record a sequence's geometry. Results are ICERR_OK,
// ICERR_BADFORMAT or a byte count.
#pragma once

#include <cstdint>

#include "codec/CodecInstance.h"
#include "platform/Vfw.h"

struct DriverInstance;

constexpr uint32_t FOURCC_UYVY = mmioFOURCC('U', 'Y', 'V', 'Y');
constexpr uint32_t FOURCC_DIB = mmioFOURCC('D', 'I', 'B', ' ');
constexpr LRESULT BITMAP_HEADER_BYTES = 40;
constexpr uint32_t COMPRESSED_BYTES_PER_PIXEL = 6;

PixelFormat PixelFormatOf(const BITMAPINFOHEADER* header);
const char* PixelFormatName(uint32_t pixelFormat);
uint32_t PixelFormatBytes(uint32_t pixelFormat);

// A picture the codec can describe: positive width, non-zero height, and
// width x |height| x 6 (the compressed frame size announced, larger than any
// picture) within 32 bits.
bool GeometryFits(int32_t width, int32_t height);

// width x |height| x 6, the compressed buffer size hosts allocate; 0 when
// the geometry does not fit.
uint32_t CompressedCapacity(int32_t width, int32_t height);

// The room handed to the field coder: the host's buffer, but no more than the
// longest frame that 24-bit lengths can describe (the field-0 record and four
// field-1 slices) and the writer's reach. The writer counts its position in
// bits in 32 bits; within this room it runs out of space, and says so, long
// before its position could wrap round to the frame's start.
uint32_t CoderRoom(uint32_t capacity);

uint32_t Magnitude(int32_t height);

LRESULT CompressQuery(const BITMAPINFOHEADER* input, DriverInstance* instance);
LRESULT CompressGetFormat(const BITMAPINFOHEADER* input, BITMAPINFOHEADER* output, DriverInstance* instance);
LRESULT CompressGetSize(const BITMAPINFOHEADER* output);
LRESULT CompressBegin(const BITMAPINFOHEADER* input, DriverInstance* instance);
LRESULT DecompressQuery(const BITMAPINFOHEADER* input, const BITMAPINFOHEADER* output, DriverInstance* instance);
LRESULT DecompressGetFormat(const BITMAPINFOHEADER* input, BITMAPINFOHEADER* output);
LRESULT DecompressBegin(const BITMAPINFOHEADER* input, const BITMAPINFOHEADER* output, DriverInstance* instance);

// Records the geometry of a decompression sequence without tracing or
// checking anything; the callers have checked it.
void RecordDecompressGeometry(const BITMAPINFOHEADER* input, const BITMAPINFOHEADER* output,
                              CodecInstance* codec);
