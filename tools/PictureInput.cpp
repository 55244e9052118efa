// SPDX-License-Identifier: BSD-2-Clause
#include "PictureInput.h"

#include "ToolError.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
}

namespace {

AVDictionary* RawVideoOptions(const PictureInputSettings& settings)
{
    AVDictionary* options = nullptr;
    if (!settings.size.empty())
        av_dict_set(&options, "video_size", settings.size.c_str(), 0);
    if (!settings.pixFmt.empty())
        av_dict_set(&options, "pixel_format", settings.pixFmt.c_str(), 0);
    if (!settings.rate.empty())
        av_dict_set(&options, "framerate", settings.rate.c_str(), 0);
    return options;
}

AVRational StreamRate(const AVStream& stream, const std::string& rateOverride)
{
    AVRational rate = {0, 1};
    if (!rateOverride.empty() && av_parse_video_rate(&rate, rateOverride.c_str()) < 0)
        FailUsage("--rate: '" + rateOverride + "' is not a frame rate");
    if (rate.num <= 0)
        rate = stream.avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        rate = stream.r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        rate = {25, 1};
    return rate;
}

int64_t ExpectedFrames(const AVFormatContext& demuxer, const AVStream& stream, AVRational rate)
{
    if (stream.nb_frames > 0)
        return stream.nb_frames;
    if (stream.duration > 0)
        return av_rescale_q(stream.duration, stream.time_base, av_inv_q(rate));
    if (demuxer.duration > 0)
        return av_rescale_q(demuxer.duration, AV_TIME_BASE_Q, av_inv_q(rate));
    return 0;
}

// Repeats the last filled unit of each line (a UYVY macropixel or one RGB
// pixel) up to the coded width.
void PadLines(uint8_t* picture, const PixelLayout& layout, int filledWidth, int codedWidth, int height)
{
    const size_t unit = layout.bitCount == 16 ? 4 : size_t(layout.bitCount / 8);
    const size_t filled = LineBytes(layout, filledWidth);
    const size_t lineBytes = LineBytes(layout, codedWidth);
    for (int y = 0; y < height; ++y) {
        uint8_t* line = picture + size_t(y) * lineBytes;
        for (size_t x = filled; x < lineBytes; x += unit)
            std::memcpy(line + x, line + filled - unit, unit);
    }
}

bool ReceiveFrame(PictureInput& input)
{
    for (;;) {
        const int received = avcodec_receive_frame(input.decoder.get(), input.frame.get());
        if (received == 0)
            return true;
        if (received == AVERROR_EOF)
            return false;
        if (received != AVERROR(EAGAIN))
            Fail(input.path,
                 "frame " + std::to_string(input.framesRead) + " cannot be decoded: " + AvErrorText(received));
        if (input.draining)
            return false;
        const int read = av_read_frame(input.demuxer.get(), input.packet.get());
        if (read == AVERROR_EXIT)
            return false;  // interrupted
        if (read < 0) {
            if (read != AVERROR_EOF)
                Fail(input.path, AvErrorText(read));
            input.draining = true;
            avcodec_send_packet(input.decoder.get(), nullptr);
            continue;
        }
        if (input.packet->stream_index == input.streamIndex) {
            const int sent = avcodec_send_packet(input.decoder.get(), input.packet.get());
            if (sent < 0 && sent != AVERROR(EAGAIN))
                Fail(input.path, "the data after frame " + std::to_string(input.framesRead) + " is damaged: " +
                                     AvErrorText(sent));
        } else if (input.otherPacket) {
            input.otherPacket(*input.packet);
        }
        av_packet_unref(input.packet.get());
    }
}

}  // namespace

PictureInput OpenPictureInput(const PictureInputSettings& settings)
{
    std::string formatName = settings.formatName;
    if (formatName.empty() && !settings.size.empty())
        formatName = "rawvideo";
    if (formatName == "rawvideo" && settings.size.empty())
        FailUsage("raw video input needs --size WxH (and --pix-fmt unless it is yuv420p)");
    AVDictionary* options = RawVideoOptions(settings);
    PictureInput input;
    input.path = settings.path;
    input.demuxer = OpenInputFile(settings.path, formatName, &options);
    av_dict_free(&options);

    const AVCodec* codec = nullptr;
    input.streamIndex = av_find_best_stream(input.demuxer.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (input.streamIndex < 0)
        Fail(settings.path, input.streamIndex == AVERROR_DECODER_NOT_FOUND ? "no decoder for its video"
                                                                          : "no video stream");
    const AVStream& stream = *input.demuxer->streams[input.streamIndex];
    input.decoder.reset(avcodec_alloc_context3(codec));
    avcodec_parameters_to_context(input.decoder.get(), stream.codecpar);
    UseSliceThreads(*input.decoder);
    const int opened = avcodec_open2(input.decoder.get(), codec, nullptr);
    if (opened < 0)
        Fail(settings.path, "cannot decode its " + std::string(codec->name) + " video: " + AvErrorText(opened));
    input.width = stream.codecpar->width;
    input.height = stream.codecpar->height;
    if (input.width <= 0 || input.height <= 0)
        Fail(settings.path, "the video has no picture size");
    input.rate = StreamRate(stream, settings.rate);
    input.sampleAspect = stream.sample_aspect_ratio;
    input.fieldOrder = stream.codecpar->field_order;
    input.expectedFrames = ExpectedFrames(*input.demuxer, stream, input.rate);
    input.frame.reset(av_frame_alloc());
    input.packet.reset(av_packet_alloc());
    return input;
}

void ConvertPicture(ScalerPtr& scaler, const AVFrame& frame, const PixelLayout& layout, int codedWidth,
                    uint8_t* picture)
{
    // 4:2:2 cannot hold an odd last column on its own; padding repeats the
    // whole last pair instead.
    int filledWidth = std::min(frame.width, codedWidth);
    if (layout.bitCount == 16 && filledWidth < codedWidth)
        filledWidth &= ~1;
    scaler.reset(sws_getCachedContext(scaler.release(), filledWidth, frame.height, AVPixelFormat(frame.format),
                                      filledWidth, frame.height, layout.avFormat, SWS_BICUBIC | SWS_ACCURATE_RND,
                                      nullptr, nullptr, nullptr));
    if (scaler == nullptr)
        Fail("", std::string("cannot convert ") + av_get_pix_fmt_name(AVPixelFormat(frame.format)) + " pictures to " +
                     layout.name);
    uint8_t* planes[4] = {picture, nullptr, nullptr, nullptr};
    const int strides[4] = {int(LineBytes(layout, codedWidth)), 0, 0, 0};
    sws_scale(scaler.get(), frame.data, frame.linesize, 0, frame.height, planes, strides);
    if (filledWidth < codedWidth)
        PadLines(picture, layout, filledWidth, codedWidth, frame.height);
}

bool ReadPicture(PictureInput& input, const PixelLayout& layout, int codedWidth, uint8_t* picture)
{
    if (!ReceiveFrame(input))
        return false;
    const AVFrame& frame = *input.frame;
    if (frame.width != input.width || frame.height != input.height)
        Fail(input.path, "the picture size changes from " + std::to_string(input.width) + "x" +
                             std::to_string(input.height) + " to " + std::to_string(frame.width) + "x" +
                             std::to_string(frame.height) + " at frame " + std::to_string(input.framesRead));
    ConvertPicture(input.scaler, frame, layout, codedWidth, picture);
    input.lastPts = frame.best_effort_timestamp;
    av_frame_unref(input.frame.get());
    ++input.framesRead;
    return true;
}
