// SPDX-License-Identifier: BSD-2-Clause
#include "driver/Formats.h"

#include <algorithm>
#include <cstring>

#include "codec/FieldCoder.h"
#include "driver/DriverInstance.h"
#include "driver/Trace.h"
#include "entropy/BitWriter.h"

namespace {

constexpr uint32_t CODER_ROOM_BYTES = MAX_RECORD_BYTES * (1 + SLICE_COUNT) + BIT_WRITER_REACH;
static_assert(uint64_t(CODER_ROOM_BYTES) * 8 <= UINT32_MAX);

bool IsRgbCompression(uint32_t compression)
{
    return compression == BI_RGB || compression == FOURCC_DIB;
}

bool SameGeometry(const BITMAPINFOHEADER* a, const BITMAPINFOHEADER* b)
{
    return a->biWidth == b->biWidth && Magnitude(a->biHeight) == Magnitude(b->biHeight);
}

// The bytes of a FourCC in memory order, for the trace.
char FourccByte(uint32_t fourcc, int index)
{
    return char(fourcc >> (8 * index));
}

// Starts a suggested format as a copy of the given one (they may be the same
// header) with the fields the driver always writes as 0.
void CopyHeader(const BITMAPINFOHEADER* input, BITMAPINFOHEADER* output)
{
    std::memmove(output, input, sizeof *output);
    output->biSize = sizeof *output;
    output->biXPelsPerMeter = 0;
    output->biYPelsPerMeter = 0;
    output->biClrUsed = 0;
    output->biClrImportant = 0;
}

}  // namespace

PixelFormat PixelFormatOf(const BITMAPINFOHEADER* header)
{
    if (header->biCompression == FOURCC_UYVY)
        return PIXEL_FORMAT_UYVY;
    if (!IsRgbCompression(header->biCompression))
        return PIXEL_FORMAT_UNSUPPORTED;
    switch (header->biBitCount) {
    case 24:
        return PIXEL_FORMAT_BGR24;
    case 32:
        return PIXEL_FORMAT_BGR32;
    default:
        return PIXEL_FORMAT_UNSUPPORTED;
    }
}

const char* PixelFormatName(uint32_t pixelFormat)
{
    switch (pixelFormat) {
    case PIXEL_FORMAT_UYVY:
        return "UYVY";
    case PIXEL_FORMAT_BGR24:
        return "BGR24";
    case PIXEL_FORMAT_BGR32:
        return "BGR32";
    default:
        return "Unknown";
    }
}

uint32_t PixelFormatBytes(uint32_t pixelFormat)
{
    switch (pixelFormat) {
    case PIXEL_FORMAT_UYVY:
        return 2;
    case PIXEL_FORMAT_BGR24:
        return 3;
    case PIXEL_FORMAT_BGR32:
        return 4;
    default:
        return 0;
    }
}

uint32_t Magnitude(int32_t height)
{
    return height < 0 ? 0u - uint32_t(height) : uint32_t(height);
}

bool GeometryFits(int32_t width, int32_t height)
{
    return width > 0 && height != 0 &&
           uint64_t(width) * Magnitude(height) * COMPRESSED_BYTES_PER_PIXEL <= UINT32_MAX;
}

uint32_t CompressedCapacity(int32_t width, int32_t height)
{
    if (!GeometryFits(width, height))
        return 0;
    return uint32_t(width) * Magnitude(height) * COMPRESSED_BYTES_PER_PIXEL;
}

uint32_t CoderRoom(uint32_t capacity)
{
    return std::min(capacity, CODER_ROOM_BYTES);
}

LRESULT CompressQuery(const BITMAPINFOHEADER* input, DriverInstance* instance)
{
    if (!input)
        return ICERR_BADFORMAT;
    const uint32_t compression = input->biCompression;
    Trace("FMT = %dx%d (ColorSpace %c%c%c%c)", int(input->biWidth), int(input->biHeight),
          FourccByte(compression, 0), FourccByte(compression, 1), FourccByte(compression, 2),
          FourccByte(compression, 3));
    const bool acceptable = PixelFormatOf(input) != PIXEL_FORMAT_UNSUPPORTED && input->biWidth % 16 == 0 &&
                            GeometryFits(input->biWidth, input->biHeight);
    instance->codec->topDown = input->biHeight < 0;
    if (acceptable)
        return ICERR_OK;
    Trace("Returning Bad Format");
    return ICERR_BADFORMAT;
}

LRESULT CompressGetFormat(const BITMAPINFOHEADER* input, BITMAPINFOHEADER* output, DriverInstance* instance)
{
    if (!output)
        return BITMAP_HEADER_BYTES;
    if (!input || !GeometryFits(input->biWidth, input->biHeight))
        return ICERR_BADFORMAT;
    const bool topDown = input->biHeight < 0;
    const uint32_t frameBytes = CompressedCapacity(input->biWidth, input->biHeight);
    CopyHeader(input, output);
    output->biSizeImage = frameBytes;
    output->biCompression = instance->codec->fourcc;
    instance->codec->topDown = topDown;
    return ICERR_OK;
}

LRESULT CompressGetSize(const BITMAPINFOHEADER* output)
{
    return output ? LRESULT(CompressedCapacity(output->biWidth, output->biHeight)) : 0;
}

LRESULT CompressBegin(const BITMAPINFOHEADER* input, DriverInstance* instance)
{
    CodecInstance* codec = instance->codec;
    instance->compressReady = input && GeometryFits(input->biWidth, input->biHeight);
    if (!instance->compressReady)
        return ICERR_BADFORMAT;
    codec->width = input->biWidth;
    codec->height = int32_t(Magnitude(input->biHeight));
    codec->pixelFormat = PixelFormatOf(input);
    Trace("Resolution = %dx%d (%s)", int(codec->width), int(codec->height), PixelFormatName(codec->pixelFormat));
    return ICERR_OK;
}

LRESULT DecompressQuery(const BITMAPINFOHEADER* input, const BITMAPINFOHEADER* output, DriverInstance* instance)
{
    if (!input)
        return ICERR_BADFORMAT;
    if (output) {
        // Only a layout DecompressFrame writes is agreed to: a host that
        // negotiates (DirectShow's AVI Decompressor offers eight layouts)
        // settles on the first one accepted and passes no frame's refusal
        // on. A refused output keeps the line order of the last accepted one.
        if (!SameGeometry(input, output) || PixelFormatOf(output) == PIXEL_FORMAT_UNSUPPORTED)
            return ICERR_BADFORMAT;
        instance->codec->topDown = output->biHeight <= 0;
    }
    const bool acceptable =
        input->biCompression == FOURCC_QF25 && GeometryFits(input->biWidth, input->biHeight);
    return acceptable ? ICERR_OK : ICERR_BADFORMAT;
}

LRESULT DecompressGetFormat(const BITMAPINFOHEADER* input, BITMAPINFOHEADER* output)
{
    if (!output)
        return BITMAP_HEADER_BYTES;
    if (!input || input->biCompression != FOURCC_QF25 || !GeometryFits(input->biWidth, input->biHeight))
        return ICERR_BADFORMAT;
    const uint32_t height = Magnitude(input->biHeight);
    CopyHeader(input, output);
    output->biHeight = int32_t(height);
    output->biPlanes = 1;
    output->biBitCount = 32;
    output->biCompression = BI_RGB;
    output->biSizeImage = uint32_t(output->biWidth) * height * 4;
    return ICERR_OK;
}

LRESULT DecompressBegin(const BITMAPINFOHEADER* input, const BITMAPINFOHEADER* output, DriverInstance* instance)
{
    instance->decompressReady =
        input && output && SameGeometry(input, output) && GeometryFits(input->biWidth, input->biHeight);
    if (!instance->decompressReady)
        return ICERR_BADFORMAT;
    RecordDecompressGeometry(input, output, instance->codec);
    return ICERR_OK;
}

void RecordDecompressGeometry(const BITMAPINFOHEADER* input, const BITMAPINFOHEADER* output, CodecInstance* codec)
{
    codec->width = input->biWidth;
    codec->height = int32_t(Magnitude(input->biHeight));
    codec->pixelFormat = PixelFormatOf(output);
}
