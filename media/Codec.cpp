// SPDX-License-Identifier: BSD-2-Clause
#include "Codec.h"

#include "ToolError.h"

#include <qf25.h>

extern "C" {
#include <libavutil/imgutils.h>
}

#include <cstring>
#include <utility>

const PixelLayout PIXEL_LAYOUTS[3] = {
    {"uyvy", MakeFourcc('U', 'Y', 'V', 'Y'), 16, AV_PIX_FMT_UYVY422},
    {"bgr24", 0, 24, AV_PIX_FMT_BGR24},
    {"bgr32", 0, 32, AV_PIX_FMT_BGR0},
};

const PixelLayout* FindPixelLayout(std::string_view name)
{
    for (const PixelLayout& layout : PIXEL_LAYOUTS) {
        if (name == layout.name)
            return &layout;
    }
    return nullptr;
}

const PixelLayout* PixelLayoutOfBitCount(int bitCount)
{
    for (const PixelLayout& layout : PIXEL_LAYOUTS) {
        if (bitCount == layout.bitCount)
            return &layout;
    }
    return nullptr;
}

size_t LineBytes(const PixelLayout& layout, int width)
{
    return size_t(layout.bitCount / 8) * size_t(width);
}

size_t PictureBytes(const PixelLayout& layout, int width, int height)
{
    return LineBytes(layout, width) * size_t(height);
}

namespace {

void Put16(uint8_t* at, uint32_t value)
{
    at[0] = uint8_t(value);
    at[1] = uint8_t(value >> 8);
}

void Put32(uint8_t* at, uint32_t value)
{
    Put16(at, value);
    Put16(at + 2, value >> 16);
}

BitmapHeader MakeHeader(int width, int height, int bitCount, uint32_t compression, uint32_t sizeImage)
{
    BitmapHeader header = {};
    Put32(&header[0], 40);
    Put32(&header[4], uint32_t(width));
    Put32(&header[8], uint32_t(height));
    Put16(&header[12], 1);
    Put16(&header[14], uint32_t(bitCount));
    Put32(&header[16], compression);
    Put32(&header[20], sizeImage);
    return header;
}

// Field 0 is the even lines, field 1 the odd ones; both are addressed with a
// stride of two lines so the codec sees each field as a picture of its own.
struct FieldAddress {
    size_t offset;
    int32_t stride;
};

FieldAddress FieldOf(const CodecSession& session, int field, size_t lineStride)
{
    if (lineStride == 0)
        lineStride = LineBytes(*session.layout, session.width);
    return {field == 0 ? 0 : lineStride, int32_t(2 * lineStride)};
}

}  // namespace

BitmapHeader UncompressedHeader(const PixelLayout& layout, int width, int height)
{
    return MakeHeader(width, height, layout.bitCount, layout.compression,
                      uint32_t(PictureBytes(layout, width, height)));
}

BitmapHeader CompressedHeader(const PixelLayout& layout, int width, int height)
{
    return MakeHeader(width, height, layout.bitCount, FOURCC_QF25, uint32_t(width) * uint32_t(height) * 6);
}

CodecSession::CodecSession(CodecSession&& other) noexcept
    : handle(std::exchange(other.handle, nullptr)),
      decoder(other.decoder),
      layout(other.layout),
      width(other.width),
      height(other.height)
{
}

CodecSession::~CodecSession()
{
    if (handle == nullptr)
        return;
    if (decoder)
        QFC_DecompressFieldEnd(handle);
    else
        QFC_CompressFieldEnd(handle);
}

CodecSession OpenEncoder(const PixelLayout& layout, int width, int height, int quality)
{
    const BitmapHeader header = UncompressedHeader(layout, width, height);
    CodecSession session;
    session.handle = QFC_CompressFieldBegin(header.data());
    if (session.handle == nullptr)
        Fail("", "the codec cannot code " + std::to_string(width) + "x" + std::to_string(height) + " pictures");
    session.layout = &layout;
    session.width = width;
    session.height = height;
    if (quality != 0 && QFC_SetQuality(session.handle, quality) < 0)
        Fail("", "the codec refused quality " + std::to_string(quality));
    return session;
}

CodecSession OpenDecoder(const PixelLayout& layout, int width, int height, SliceThreads slices)
{
    const BitmapHeader header = UncompressedHeader(layout, width, height);
    CodecSession session;
    session.handle = QFC_DecompressFieldBegin(header.data());
    if (session.handle == nullptr)
        Fail("", "the codec cannot decode " + std::to_string(width) + "x" + std::to_string(height) + " pictures");
    session.decoder = true;
    session.layout = &layout;
    session.width = width;
    session.height = height;
    if (slices == SliceThreads::CALLER && QFC_SetSliceThreads(session.handle, 1) < 0)
        Fail("", "the codec cannot decode on the calling thread");
    return session;
}

std::vector<CodecSession> OpenDecoders(const PixelLayout& layout, int width, int height, int count)
{
    // Two instances with four workers each would put eight threads on the
    // cores and hand every slice over for nothing.
    const SliceThreads slices = count > 1 ? SliceThreads::CALLER : SliceThreads::WORKERS;
    std::vector<CodecSession> sessions;
    for (int i = 0; i < count; ++i)
        sessions.push_back(OpenDecoder(layout, width, height, slices));
    return sessions;
}

uint32_t MaxCodedBytes(int width, int height)
{
    return QFC_MaxFrameSize(width, height);
}

bool IsPlausiblePictureSize(int width, int height)
{
    return width > 0 && height > 0 && av_image_check_size(unsigned(width), unsigned(height), 0, nullptr) >= 0;
}

uint32_t EncodePicture(CodecSession& session, const uint8_t* picture, uint8_t* coded, uint32_t capacity,
                       size_t lineStride)
{
    uint32_t size = 0;
    for (int field = 0; field < 2; ++field) {
        const FieldAddress at = FieldOf(session, field, lineStride);
        size = QFC_CompressFieldSized(session.handle, coded, capacity, picture + at.offset, at.stride, field);
        if (size == 0)
            return 0;
    }
    return size;
}

DecodeOutcome DecodePicture(CodecSession& session, const uint8_t* coded, uint32_t size, uint8_t* picture,
                            size_t lineStride)
{
    DecodeOutcome outcome = DecodeOutcome::GOOD;
    for (int field = 0; field < 2; ++field) {
        const FieldAddress at = FieldOf(session, field, lineStride);
        const int32_t result =
            QFC_DecompressFieldSized(session.handle, picture + at.offset, coded, size, at.stride, field);
        if (result < 0)
            return DecodeOutcome::REFUSED;
        if (result > 0)
            outcome = DecodeOutcome::DAMAGED;
    }
    return outcome;
}

bool HasUncodedPixels(const CodecSession& session)
{
    return session.width % WIDTH_MULTIPLE != 0;
}

void FillUncodedLine(const CodecSession& session, uint8_t* picture, size_t lineStride)
{
    if (session.height % 2 == 0 || session.height < 3)
        return;
    const size_t lineBytes = LineBytes(*session.layout, session.width);
    if (lineStride == 0)
        lineStride = lineBytes;
    uint8_t* last = picture + size_t(session.height - 1) * lineStride;
    std::memcpy(last, last - 2 * lineStride, lineBytes);
}

void FillBlack(const PixelLayout& layout, int width, int height, uint8_t* picture, size_t lineStride)
{
    const size_t lineBytes = LineBytes(layout, width);
    if (lineStride == 0)
        lineStride = lineBytes;
    for (int y = 0; y < height; ++y) {
        uint8_t* line = picture + size_t(y) * lineStride;
        if (layout.bitCount != 16) {
            std::memset(line, 0, lineBytes);
            continue;
        }
        for (size_t i = 0; i + 1 < lineBytes; i += 2) {
            line[i] = 128;
            line[i + 1] = 16;
        }
    }
}

void SetCodecCpuMask(uint32_t mask)
{
    QFC_SetCpuMask(mask);
}
