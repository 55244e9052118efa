// SPDX-License-Identifier: BSD-2-Clause
#include "PictureConverter.h"

#include "ToolError.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

namespace {

// MPEG-2's vertical chroma siting of 4:2:0, in 256ths of a chroma line:
// halfway between its two lines in a progressive picture, a quarter and
// three quarters of the way in the top and bottom fields.
constexpr int SITING_PROGRESSIVE = 128;
constexpr int SITING_TOP_FIELD = 64;
constexpr int SITING_BOTTOM_FIELD = 192;

const AVPixFmtDescriptor& Descriptor(AVPixelFormat format)
{
    return *av_pix_fmt_desc_get(format);
}

bool IsYcbcr(AVPixelFormat format)
{
    const AVPixFmtDescriptor& descriptor = Descriptor(format);
    return !(descriptor.flags & AV_PIX_FMT_FLAG_RGB) && descriptor.nb_components >= 3;
}

bool FullRange(const PictureFormat& picture)
{
    if (!IsYcbcr(picture.format))
        return false;
    switch (picture.format) {
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUVJ444P:
    case AV_PIX_FMT_YUVJ440P:
    case AV_PIX_FMT_YUVJ411P:
        return true;
    default:
        return picture.fullRange;
    }
}

bool IsPacked422(AVPixelFormat format)
{
    return format == AV_PIX_FMT_UYVY422 || format == AV_PIX_FMT_YUYV422;
}

int ChromaShift(AVPixelFormat format)
{
    return IsYcbcr(format) ? Descriptor(format).log2_chroma_h : 0;
}

// The lines of field `field` in a picture of `height` lines.
int FieldLines(int height, int field)
{
    return (height + 1 - field) / 2;
}

// Whether each field of the picture finds every chroma line it needs among
// the picture's own: with 4:2:0 and a height of 4n + 2, the bottom field's
// last line pair has its chroma line past the end.
bool FieldsFit(AVPixelFormat format, int height)
{
    const int shift = ChromaShift(format);
    const int chromaLines = -((-height) >> shift);
    for (int field = 0; field < 2; ++field) {
        const int needed = -((-FieldLines(height, field)) >> shift);
        if ((chromaLines - field + 1) / 2 < needed)
            return false;
    }
    return true;
}

ScalerPtr MakeScaler(const PictureFormat& from, const PictureFormat& to, int lines, int siting)
{
    ScalerPtr scaler(sws_alloc_context());
    SwsContext* context = scaler.get();
    const bool fromFull = FullRange(from);
    const bool toFull = FullRange(to);
    av_opt_set_int(context, "srcw", from.width, 0);
    av_opt_set_int(context, "srch", lines, 0);
    av_opt_set_int(context, "src_format", from.format, 0);
    av_opt_set_int(context, "dstw", to.width, 0);
    av_opt_set_int(context, "dsth", lines, 0);
    av_opt_set_int(context, "dst_format", to.format, 0);
    av_opt_set_int(context, "sws_flags", SWS_BICUBIC | SWS_ACCURATE_RND, 0);
    av_opt_set_int(context, "src_range", fromFull, 0);
    av_opt_set_int(context, "dst_range", toFull, 0);
    if (ChromaShift(from.format) == 1)
        av_opt_set_int(context, "src_v_chr_pos", siting, 0);
    if (ChromaShift(to.format) == 1)
        av_opt_set_int(context, "dst_v_chr_pos", siting, 0);
    if (sws_init_context(context, nullptr, nullptr) < 0)
        return nullptr;
    // Between two YCbCr formats the samples keep their matrix; towards or
    // from RGB the YCbCr side's matrix converts.
    const AVColorSpace matrix = IsYcbcr(from.format) ? from.matrix : to.matrix;
    const int* coefficients = sws_getCoefficients(matrix);
    sws_setColorspaceDetails(context, coefficients, fromFull, coefficients, toFull, 0, 1 << 16, 1 << 16);
    return scaler;
}

void Reserve(FramePtr& frame, const PictureFormat& picture, int height)
{
    frame.reset(av_frame_alloc());
    if (frame == nullptr)
        Fail("", "out of memory");
    frame->format = picture.format;
    frame->width = picture.width;
    frame->height = height;
    if (av_frame_get_buffer(frame.get(), 0) < 0)
        Fail("", "out of memory");
}

// Lines of each plane of a picture of `height` lines.
int PlaneLines(AVPixelFormat format, int plane, int height)
{
    const bool chroma = plane == 1 || plane == 2;
    return chroma ? -((-height) >> Descriptor(format).log2_chroma_h) : height;
}

void CopyPlanes(AVPixelFormat format, int width, int height, const uint8_t* const from[4], const int fromStrides[4],
                uint8_t* const to[4], const int toStrides[4])
{
    int lineBytes[4] = {};
    av_image_fill_linesizes(lineBytes, format, width);
    for (int plane = 0; plane < 4 && from[plane] != nullptr && to[plane] != nullptr; ++plane) {
        av_image_copy_plane(to[plane], toStrides[plane], from[plane], fromStrides[plane], lineBytes[plane],
                            PlaneLines(format, plane, height));
    }
}

// Copies the picture into a taller frame and continues each plane's lines
// with the line two above, of the same field.
void PadInto(AVFrame& padded, int height, const uint8_t* const from[4], const int fromStrides[4])
{
    const AVPixelFormat format = AVPixelFormat(padded.format);
    CopyPlanes(format, padded.width, height, from, fromStrides, padded.data, padded.linesize);
    int lineBytes[4] = {};
    av_image_fill_linesizes(lineBytes, format, padded.width);
    for (int plane = 0; plane < 4 && padded.data[plane] != nullptr; ++plane) {
        const int first = PlaneLines(format, plane, height);
        for (int line = std::max(first, 2); line < PlaneLines(format, plane, padded.height); ++line)
            std::memcpy(padded.data[plane] + ptrdiff_t(line) * padded.linesize[plane],
                        padded.data[plane] + ptrdiff_t(line - 2) * padded.linesize[plane], size_t(lineBytes[plane]));
    }
}

}  // namespace

bool operator==(const PictureFormat& a, const PictureFormat& b)
{
    return a.format == b.format && a.width == b.width && a.height == b.height && a.matrix == b.matrix &&
           a.fullRange == b.fullRange;
}

bool SharesChromaBetweenLines(AVPixelFormat format)
{
    return ChromaShift(format) > 0;
}

void PrepareConverter(PictureConverter& converter, const PictureFormat& from, const PictureFormat& to,
                      bool interlaced)
{
    if (converter.scalers[0] != nullptr && converter.from == from && converter.to == to &&
        converter.interlaced == interlaced)
        return;
    converter = {};
    converter.from = from;
    converter.to = to;
    converter.interlaced = interlaced;
    PictureFormat a = from;
    PictureFormat b = to;
    converter.packedFrom = IsPacked422(from.format) && SharesChromaBetweenLines(to.format);
    const bool packedTo = IsPacked422(to.format) && SharesChromaBetweenLines(from.format);
    if (converter.packedFrom) {
        a.format = AV_PIX_FMT_YUV422P;
        converter.packing = MakeScaler(from, a, from.height, SITING_PROGRESSIVE);
        Reserve(converter.planar, a, a.height);
    } else if (packedTo) {
        b.format = AV_PIX_FMT_YUV422P;
        converter.packing = MakeScaler(b, to, to.height, SITING_PROGRESSIVE);
        Reserve(converter.planar, b, b.height);
    }
    converter.resampledFrom = a;
    converter.resampledTo = b;
    converter.byField =
        interlaced && a.height >= 2 && (SharesChromaBetweenLines(a.format) || SharesChromaBetweenLines(b.format));
    if (!converter.byField) {
        converter.scalers[0] = MakeScaler(a, b, a.height, SITING_PROGRESSIVE);
    } else {
        for (int field = 0; field < 2; ++field)
            converter.scalers[field] = MakeScaler(a, b, FieldLines(a.height, field),
                                                  field == 0 ? SITING_TOP_FIELD : SITING_BOTTOM_FIELD);
        const int unit = 2 << std::max(ChromaShift(a.format), ChromaShift(b.format));
        const int paddedHeight = (a.height + unit - 1) / unit * unit;
        if (!FieldsFit(a.format, a.height))
            Reserve(converter.paddedFrom, a, paddedHeight);
        if (!FieldsFit(b.format, b.height))
            Reserve(converter.paddedTo, b, paddedHeight);
    }
    const bool ready = converter.scalers[0] != nullptr && (!converter.byField || converter.scalers[1] != nullptr) &&
                       (converter.planar == nullptr || converter.packing != nullptr);
    if (!ready)
        Fail("", std::string("cannot convert ") + av_get_pix_fmt_name(from.format) + " pictures to " +
                     av_get_pix_fmt_name(to.format));
}

namespace {

// The conversion that filters chroma: the whole picture, or each field as a
// picture of its own (every other line of every plane).
void Resample(PictureConverter& converter, const uint8_t* const* from, const int* fromStrides, uint8_t* const* to,
              const int* toStrides)
{
    const int height = converter.resampledFrom.height;
    if (!converter.byField) {
        sws_scale(converter.scalers[0].get(), from, fromStrides, 0, height, to, toStrides);
        return;
    }
    if (converter.paddedFrom != nullptr) {
        PadInto(*converter.paddedFrom, height, from, fromStrides);
        from = converter.paddedFrom->data;
        fromStrides = converter.paddedFrom->linesize;
    }
    uint8_t* const* target = to;
    const int* targetStrides = toStrides;
    if (converter.paddedTo != nullptr) {
        target = converter.paddedTo->data;
        targetStrides = converter.paddedTo->linesize;
    }
    for (int field = 0; field < 2; ++field) {
        const uint8_t* fieldFrom[4] = {};
        uint8_t* fieldTo[4] = {};
        int fieldFromStrides[4] = {};
        int fieldToStrides[4] = {};
        for (int plane = 0; plane < 4; ++plane) {
            if (from[plane] != nullptr) {
                fieldFrom[plane] = from[plane] + ptrdiff_t(field) * fromStrides[plane];
                fieldFromStrides[plane] = 2 * fromStrides[plane];
            }
            if (target[plane] != nullptr) {
                fieldTo[plane] = target[plane] + ptrdiff_t(field) * targetStrides[plane];
                fieldToStrides[plane] = 2 * targetStrides[plane];
            }
        }
        sws_scale(converter.scalers[field].get(), fieldFrom, fieldFromStrides, 0, FieldLines(height, field), fieldTo,
                  fieldToStrides);
    }
    if (converter.paddedTo != nullptr)
        CopyPlanes(converter.resampledTo.format, converter.resampledTo.width, height, converter.paddedTo->data,
                   converter.paddedTo->linesize, to, toStrides);
}

}  // namespace

void RunConverter(PictureConverter& converter, const uint8_t* const from[4], const int fromStrides[4],
                  uint8_t* const to[4], const int toStrides[4])
{
    const int height = converter.from.height;
    AVFrame* planar = converter.planar.get();
    if (planar == nullptr) {
        Resample(converter, from, fromStrides, to, toStrides);
    } else if (converter.packedFrom) {
        sws_scale(converter.packing.get(), from, fromStrides, 0, height, planar->data, planar->linesize);
        Resample(converter, planar->data, planar->linesize, to, toStrides);
    } else {
        Resample(converter, from, fromStrides, planar->data, planar->linesize);
        sws_scale(converter.packing.get(), planar->data, planar->linesize, 0, height, to, toStrides);
    }
}
