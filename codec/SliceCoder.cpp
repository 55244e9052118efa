// SPDX-License-Identifier: BSD-2-Clause
#include "codec/SliceCoder.h"

#include "codec/CodecInstance.h"
#include "codec/FieldCoder.h"
#include "codec/SliceLoops.h"
#include "entropy/BitReader.h"

bool EncodeSlice(const CodecInstance* instance, BitWriter* writer, const uint8_t* firstLine, ptrdiff_t stride,
                 int slice, uint32_t pixelFormat)
{
    const uint32_t start = writer->position / 8;
    PutBits(writer, 0, 24);  // the place of the length
    switch (pixelFormat) {
    case PIXEL_FORMAT_UYVY:
        EncodeSliceUYVY(instance, firstLine, stride, slice, writer);
        break;
    case PIXEL_FORMAT_BGR24:
        EncodeSliceBGR24(instance, firstLine, stride, slice, writer);
        break;
    case PIXEL_FORMAT_BGR32:
        EncodeSliceBGR32(instance, firstLine, stride, slice, writer);
        break;
    default:
        break;
    }
    const uint32_t length = BytesUsed(writer) - start;
    // The fill bits up to the byte boundary are already zero: every write
    // clears the bits ahead of it.
    SetPosition(writer, BytesUsed(writer) * 8);
    if (writer->overflow || length > MAX_RECORD_BYTES)
        return false;
    StoreLE24(writer->buffer + start, length);
    return true;
}

bool DecodeSlice(const CodecInstance* instance, const uint8_t* data, uint32_t size, uint8_t* firstLine,
                 ptrdiff_t stride, int slice, uint32_t pixelFormat)
{
    BitReader reader;
    Reset(&reader, data, size);
    SetPosition(&reader, SLICE_HEADER_BYTES * 8);
    switch (pixelFormat) {
    case PIXEL_FORMAT_UYVY:
        DecodeSliceUYVY(instance, firstLine, stride, slice, &reader);
        break;
    case PIXEL_FORMAT_BGR24:
        DecodeSliceBGR24(instance, firstLine, stride, slice, &reader);
        break;
    case PIXEL_FORMAT_BGR32:
        DecodeSliceBGR32(instance, firstLine, stride, slice, &reader);
        break;
    default:
        return false;
    }
    // The coder pads each slice to a byte, so a whole slice's macroblocks end
    // in its last byte: ending sooner or later means the bits were misread.
    return PastEnd(&reader) || BytesUsed(&reader) < size;
}
