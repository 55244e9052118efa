// SPDX-License-Identifier: BSD-2-Clause
#include "PictureOutput.h"

#include "CodedOutput.h"
#include "Interrupt.h"
#include "OutputFile.h"
#include "ToolError.h"

#include <cstring>

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace {

const AVCodec* ChooseEncoder(const AVOutputFormat& format, const PictureOutputSettings& settings)
{
    if (!settings.codecName.empty()) {
        const AVCodec* encoder = avcodec_find_encoder_by_name(settings.codecName.c_str());
        if (encoder == nullptr || encoder->type != AVMEDIA_TYPE_VIDEO)
            FailUsage("--codec: no video encoder named '" + settings.codecName + "'");
        return encoder;
    }
    AVCodecID id = av_guess_codec(&format, nullptr, settings.path.c_str(), nullptr, AVMEDIA_TYPE_VIDEO);
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(id);
    const bool lossless = id == AV_CODEC_ID_WRAPPED_AVFRAME ||
                          (descriptor != nullptr && (descriptor->props & AV_CODEC_PROP_LOSSLESS) &&
                           !(descriptor->props & AV_CODEC_PROP_LOSSY));
    if (!lossless) {
        // FFV1 keeps every pixel format the codec writes and is labelled
        // correctly by every container that takes it; the others may take
        // the pictures uncompressed.
        if (avformat_query_codec(&format, AV_CODEC_ID_FFV1, FF_COMPLIANCE_NORMAL) == 1)
            id = AV_CODEC_ID_FFV1;
        else if (avformat_query_codec(&format, AV_CODEC_ID_RAWVIDEO, FF_COMPLIANCE_NORMAL) == 1)
            id = AV_CODEC_ID_RAWVIDEO;
        else
            FailUsage(settings.path + ": the " + format.name +
                      " container takes no lossless encoder by default; name one with --codec");
    }
    const AVCodec* encoder = avcodec_find_encoder(id);
    if (encoder == nullptr)
        Fail(settings.path, std::string("no encoder for the ") + format.name + " container; name one with --codec");
    return encoder;
}

bool EndsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

AVPixelFormat ChoosePixelFormat(const AVOutputFormat& format, const AVCodec& encoder, const PixelLayout& layout,
                                const PictureOutputSettings& settings)
{
    if (!settings.pixFmt.empty()) {
        const AVPixelFormat named = av_get_pix_fmt(settings.pixFmt.c_str());
        if (named == AV_PIX_FMT_NONE)
            FailUsage("--pix-fmt: unknown pixel format '" + settings.pixFmt + "'");
        return named;
    }
    // .rgb is RGB: the decoded bytes when the codec gives RGB, else RGB24.
    if (std::strcmp(format.name, "rawvideo") == 0 && EndsWith(settings.path, ".rgb") &&
        layout.avFormat == AV_PIX_FMT_UYVY422)
        return AV_PIX_FMT_RGB24;
    if (encoder.pix_fmts != nullptr)
        return avcodec_find_best_pix_fmt_of_list(encoder.pix_fmts, layout.avFormat, 0, nullptr);
    // Y4M holds planar YUV only.
    if (std::strcmp(format.name, "yuv4mpegpipe") == 0)
        return layout.avFormat == AV_PIX_FMT_UYVY422 ? AV_PIX_FMT_YUV422P : AV_PIX_FMT_YUV444P;
    return layout.avFormat;
}

void OpenEncoder(PictureOutput& output, const AVCodec& encoder, AVPixelFormat pixelFormat,
                 const PictureOutputSettings& settings)
{
    output.encoder.reset(avcodec_alloc_context3(&encoder));
    AVCodecContext& context = *output.encoder;
    context.width = settings.width;
    context.height = settings.height;
    context.pix_fmt = pixelFormat;
    context.time_base = av_inv_q(settings.rate);
    context.framerate = settings.rate;
    context.sample_aspect_ratio = settings.sampleAspect;
    context.field_order = AvFieldOrder(settings.fieldOrder);
    context.color_primaries = settings.colour.primaries;
    context.color_trc = settings.colour.transfer;
    // YCbCr keeps the codec's matrix and video range (full range for yuvj).
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(pixelFormat);
    if (descriptor != nullptr && !(descriptor->flags & AV_PIX_FMT_FLAG_RGB) && descriptor->nb_components >= 3) {
        context.colorspace = settings.colour.matrix;
        context.color_range = std::strncmp(av_get_pix_fmt_name(pixelFormat), "yuvj", 4) == 0 ? AVCOL_RANGE_JPEG
                                                                                          : AVCOL_RANGE_MPEG;
    }
    UseSliceThreads(context);
    if (output.muxer->oformat->flags & AVFMT_GLOBALHEADER)
        context.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    const int opened = avcodec_open2(&context, &encoder, nullptr);
    if (opened < 0)
        Fail(settings.path, std::string("cannot start the ") + encoder.name + " encoder for " +
                                av_get_pix_fmt_name(pixelFormat) + ": " + AvErrorText(opened));
}

void Drain(PictureOutput& output)
{
    for (;;) {
        const int received = avcodec_receive_packet(output.encoder.get(), output.packet.get());
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF)
            return;
        if (received < 0)
            Fail(output.path, "encoding failed: " + AvErrorText(received));
        AVStream& stream = *output.muxer->streams[0];
        av_packet_rescale_ts(output.packet.get(), output.encoder->time_base, stream.time_base);
        output.packet->stream_index = 0;
        const int written = av_interleaved_write_frame(output.muxer.get(), output.packet.get());
        if (written == AVERROR(EPIPE)) {
            // Whoever read our output has gone: stop as if interrupted.
            output.readerGone = true;
            StopForClosedOutput();
            return;
        }
        if (written < 0)
            Fail(output.path, "cannot write: " + AvErrorText(written));
    }
}

}  // namespace

const AVOutputFormat* PictureOutputFormat(const std::string& path, const std::string& formatName)
{
    return ChooseOutputFormat(path, formatName.empty() && path == "-" ? "yuv4mpegpipe" : formatName);
}

PictureOutput OpenPictureOutput(const PictureOutputSettings& settings, const PixelLayout& layout)
{
    PictureOutput output;
    output.path = settings.path;
    output.layout = &layout;
    const AVOutputFormat* format = PictureOutputFormat(settings.path, settings.formatName);
    if ((format->flags & AVFMT_NOFILE) && !IsImageSequence(settings.path) && settings.expectedFrames != 1)
        FailUsage(settings.path + ": pictures need a numbered name such as frame%04d.png");

    AVFormatContext* raw = nullptr;
    avformat_alloc_output_context2(&raw, format, nullptr, settings.writePath.c_str());
    if (raw == nullptr)
        Fail(settings.path, "cannot set up the container");
    output.muxer.reset(raw);
    const AVCodec* encoder = ChooseEncoder(*format, settings);
    OpenEncoder(output, *encoder, ChoosePixelFormat(*format, *encoder, layout, settings), settings);

    AVStream* stream = avformat_new_stream(raw, nullptr);
    avcodec_parameters_from_context(stream->codecpar, output.encoder.get());
    stream->time_base = output.encoder->time_base;
    stream->avg_frame_rate = settings.rate;
    stream->sample_aspect_ratio = settings.sampleAspect;
    if (settings.carrier != nullptr)
        AddCarriedMuxerStreams(*settings.carrier, *raw, *stream);
    if (!(format->flags & AVFMT_NOFILE)) {
        const int opened = avio_open(&raw->pb, FfmpegUrl(settings.writePath, true).c_str(), AVIO_FLAG_WRITE);
        if (opened < 0)
            Fail(settings.path, AvErrorText(opened));
    }
    const int written = avformat_write_header(raw, nullptr);
    if (written < 0)
        Fail(settings.path, std::string("the ") + format->name + " container does not take " + encoder->name +
                                " video: " + AvErrorText(written));

    output.frame.reset(av_frame_alloc());
    output.frame->width = settings.width;
    output.frame->height = settings.height;
    output.frame->format = output.encoder->pix_fmt;
    if (av_frame_get_buffer(output.frame.get(), 0) < 0)
        Fail(settings.path, "out of memory");
    output.packet.reset(av_packet_alloc());
    output.frame->interlaced_frame = settings.fieldOrder != FieldOrder::PROGRESSIVE;
    output.frame->top_field_first = settings.fieldOrder == FieldOrder::TOP_FIRST;
    output.frame->color_primaries = output.encoder->color_primaries;
    output.frame->color_trc = output.encoder->color_trc;
    output.frame->colorspace = output.encoder->colorspace;
    output.frame->color_range = output.encoder->color_range;
    const bool fullRange = output.encoder->color_range == AVCOL_RANGE_JPEG;
    const AVColorSpace matrix = settings.colour.matrix;
    PrepareConverter(output.converter, {layout.avFormat, settings.width, settings.height, matrix, false},
                     {output.encoder->pix_fmt, settings.width, settings.height, matrix, fullRange},
                     settings.fieldOrder != FieldOrder::PROGRESSIVE);
    return output;
}

void WritePicture(PictureOutput& output, const uint8_t* picture, int64_t number)
{
    if (output.readerGone)
        return;
    AVFrame& frame = *output.frame;
    // The encoder may still hold the previous picture.
    if (av_frame_make_writable(&frame) < 0)
        Fail(output.path, "out of memory");
    const uint8_t* planes[4] = {picture, nullptr, nullptr, nullptr};
    const int strides[4] = {int(LineBytes(*output.layout, frame.width)), 0, 0, 0};
    RunConverter(output.converter, planes, strides, frame.data, frame.linesize);
    frame.pts = number;
    ++output.frames;
    const int sent = avcodec_send_frame(output.encoder.get(), &frame);
    if (sent < 0)
        Fail(output.path, "encoding failed: " + AvErrorText(sent));
    Drain(output);
}

void ClosePictureOutput(PictureOutput& output)
{
    if (!output.readerGone) {
        avcodec_send_frame(output.encoder.get(), nullptr);
        Drain(output);
    }
    output.readerGone = FinishOutput(*output.muxer, output.path, output.readerGone);
}
