// SPDX-License-Identifier: BSD-2-Clause
#include "PictureOutput.h"

#include "CodedOutput.h"
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
        // correctly by every container that takes it.
        if (avformat_query_codec(&format, AV_CODEC_ID_FFV1, FF_COMPLIANCE_NORMAL) != 1)
            FailUsage(settings.path + ": the " + format.name +
                      " container takes no lossless encoder by default; name one with --codec");
        id = AV_CODEC_ID_FFV1;
    }
    const AVCodec* encoder = avcodec_find_encoder(id);
    if (encoder == nullptr)
        Fail(settings.path, std::string("no encoder for the ") + format.name + " container; name one with --codec");
    return encoder;
}

AVPixelFormat ChoosePixelFormat(const AVOutputFormat& format, const AVCodec& encoder, const PixelLayout& layout,
                                const std::string& pixFmt)
{
    if (!pixFmt.empty()) {
        const AVPixelFormat named = av_get_pix_fmt(pixFmt.c_str());
        if (named == AV_PIX_FMT_NONE)
            FailUsage("--pix-fmt: unknown pixel format '" + pixFmt + "'");
        return named;
    }
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
    context.field_order = AV_FIELD_TT;  // field 0, the even lines, is always first
    // The codec's YCbCr is studio-range BT.601, and the conversion keeps it so.
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(pixelFormat);
    if (descriptor != nullptr && !(descriptor->flags & AV_PIX_FMT_FLAG_RGB)) {
        context.color_range = AVCOL_RANGE_MPEG;
        context.colorspace = AVCOL_SPC_SMPTE170M;
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
    OpenEncoder(output, *encoder, ChoosePixelFormat(*format, *encoder, layout, settings.pixFmt), settings);

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
    output.scaler.reset(sws_getContext(settings.width, settings.height, layout.avFormat, settings.width,
                                       settings.height, output.encoder->pix_fmt, SWS_BICUBIC | SWS_ACCURATE_RND,
                                       nullptr, nullptr, nullptr));
    if (output.scaler == nullptr)
        Fail(settings.path, std::string("cannot convert ") + layout.name + " to " +
                                av_get_pix_fmt_name(output.encoder->pix_fmt));
    return output;
}

void WritePicture(PictureOutput& output, const uint8_t* picture, int64_t number)
{
    AVFrame& frame = *output.frame;
    // The encoder may still hold the previous picture.
    if (av_frame_make_writable(&frame) < 0)
        Fail(output.path, "out of memory");
    const uint8_t* planes[4] = {picture, nullptr, nullptr, nullptr};
    const int strides[4] = {int(LineBytes(*output.layout, frame.width)), 0, 0, 0};
    sws_scale(output.scaler.get(), planes, strides, 0, frame.height, frame.data, frame.linesize);
    frame.pts = number;
    ++output.frames;
    const int sent = avcodec_send_frame(output.encoder.get(), &frame);
    if (sent < 0)
        Fail(output.path, "encoding failed: " + AvErrorText(sent));
    Drain(output);
}

void ClosePictureOutput(PictureOutput& output)
{
    avcodec_send_frame(output.encoder.get(), nullptr);
    Drain(output);
    const int finished = av_write_trailer(output.muxer.get());
    if (finished < 0)
        Fail(output.path, "cannot finish the file: " + AvErrorText(finished));
    if (output.muxer->pb != nullptr) {
        const int closed = avio_closep(&output.muxer->pb);
        if (closed < 0)
            Fail(output.path, "cannot finish the file: " + AvErrorText(closed));
    }
}
