// SPDX-License-Identifier: BSD-2-Clause
#include "driver/Frames.h"

#include <algorithm>
#include <cstddef>

#include "codec/CodecInstance.h"
#include "codec/FieldCoder.h"
#include "driver/DriverInstance.h"
#include "driver/Formats.h"

namespace {

constexpr int FIELD_COUNT = 2;
constexpr uint8_t MIN_FRAME_QUALITY = 1;
constexpr uint8_t MAX_FRAME_QUALITY = 99;

// Where the two fields of a picture start, as byte offsets from the start of
// its buffer, and the signed distance between the lines of one field.
struct FieldLayout {
    ptrdiff_t offset[FIELD_COUNT];
    ptrdiff_t stride;
};

// Field 0 holds the picture's lines 0, 2, 4, ... counted from the top, field
// 1 the lines between. A bottom-up picture keeps its top line last in memory.
FieldLayout LayOutFields(int32_t height, size_t lineBytes, bool bottomUp)
{
    const auto line = ptrdiff_t(lineBytes);
    if (!bottomUp)
        return FieldLayout{{0, line}, 2 * line};
    const ptrdiff_t top = (ptrdiff_t(height) - 1) * line;
    return FieldLayout{{top, top - line}, -2 * line};
}

bool IsBottomUp(const CodecInstance* codec)
{
    const bool rgb = codec->pixelFormat == PIXEL_FORMAT_BGR24 || codec->pixelFormat == PIXEL_FORMAT_BGR32;
    return rgb && !codec->topDown;
}

FieldLayout FieldsOf(const CodecInstance* codec)
{
    const size_t lineBytes = size_t(PixelFormatBytes(codec->pixelFormat)) * uint32_t(codec->width);
    return LayOutFields(codec->height, lineBytes, IsBottomUp(codec));
}

// The picture a frame request brings must be the one its BEGIN accepted: the
// coder reads as many bytes as that picture has.
bool MatchesAcceptedPicture(const BITMAPINFOHEADER* input, const CodecInstance* codec)
{
    return PixelFormatOf(input) == codec->pixelFormat && input->biWidth == codec->width &&
           Magnitude(input->biHeight) == uint32_t(codec->height);
}

LRESULT EncodeFrame(const ICCOMPRESS* request, DriverInstance* instance)
{
    CodecInstance* codec = instance->codec;
    if (!instance->compressReady || !request->lpbiInput || !request->lpInput || !request->lpbiOutput ||
        !request->lpOutput)
        return ICERR_BADFORMAT;
    if (PixelFormatOf(request->lpbiInput) == PIXEL_FORMAT_UNSUPPORTED ||
        !MatchesAcceptedPicture(request->lpbiInput, codec))
        return ICERR_BADFORMAT;
    const auto* picture = static_cast<const uint8_t*>(request->lpInput);
    auto* frame = static_cast<uint8_t*>(request->lpOutput);
    const uint32_t capacity = CoderRoom(CompressedCapacity(codec->width, codec->height));
    const FieldLayout fields = FieldsOf(codec);
    uint32_t frameBytes = 0;
    for (int field = 0; field < FIELD_COUNT; ++field) {
        frameBytes = EncodeField(codec, frame, capacity, picture + fields.offset[field], fields.stride, field);
        if (frameBytes == 0)
            return ICERR_BADFORMAT;
    }
    request->lpbiOutput->biSizeImage = frameBytes;
    return ICERR_OK;
}

// How many bytes of the frame may be read: what the host says the sample
// holds, once the frame's own lengths are seen to lie inside it, or else what
// the frame declares, trusting no more than the largest frame of the
// geometry. 0 refuses the frame.
uint32_t ReadableFrameBytes(const uint8_t* frame, uint32_t sampleBytes, const CodecInstance* codec)
{
    if (sampleBytes != 0)
        return FrameFits(frame, sampleBytes) ? sampleBytes : 0;
    const uint64_t largest = MaxFrameBytes(codec->width, codec->height);
    return DeclaredFrameBytes(frame, uint32_t(std::min<uint64_t>(largest, UINT32_MAX)));
}

}  // namespace

LRESULT CompressFrame(ICCOMPRESS* request, DriverInstance* instance)
{
    if (!request)
        return ICERR_BADFORMAT;
    const LRESULT result = EncodeFrame(request, instance);
    if (request->lpdwFlags)
        *request->lpdwFlags = AVIIF_KEYFRAME;
    return result;
}

LRESULT DecompressFrame(const ICDECOMPRESS* request, DriverInstance* instance)
{
    if (!request || !instance->decompressReady)
        return ICERR_BADFORMAT;
    const BITMAPINFOHEADER* input = request->lpbiInput;
    const BITMAPINFOHEADER* output = request->lpbiOutput;
    if (!input || !output || !request->lpOutput || !GeometryFits(input->biWidth, input->biHeight) ||
        output->biWidth != input->biWidth || Magnitude(output->biHeight) != Magnitude(input->biHeight))
        return ICERR_BADFORMAT;
    CodecInstance* codec = instance->codec;
    const auto* frame = static_cast<const uint8_t*>(request->lpInput);
    const uint8_t quality = frame ? frame[0] : 0;
    // Every frame carries its geometry in its headers; a refused one too.
    RecordDecompressGeometry(input, output, codec);
    if (codec->pixelFormat == PIXEL_FORMAT_UNSUPPORTED || quality < MIN_FRAME_QUALITY ||
        quality > MAX_FRAME_QUALITY)
        return ICERR_BADFORMAT;
    const uint32_t frameBytes = ReadableFrameBytes(frame, input->biSizeImage, codec);
    if (frameBytes == 0)
        return ICERR_BADFORMAT;
    auto* picture = static_cast<uint8_t*>(request->lpOutput);
    const FieldLayout fields = FieldsOf(codec);
    // ReadableFrameBytes has placed both fields inside the frame, so the
    // codec refuses none today; a refusal it may learn still reaches the host.
    for (int field = 0; field < FIELD_COUNT; ++field) {
        if (DecodeField(codec, frame, frameBytes, picture + fields.offset[field], fields.stride, field) ==
            FIELD_REFUSED)
            return ICERR_BADFORMAT;
    }
    return ICERR_OK;
}
