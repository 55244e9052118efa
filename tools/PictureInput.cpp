// SPDX-License-Identifier: BSD-2-Clause
#include "PictureInput.h"

#include "ToolError.h"

#include <algorithm>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
}

namespace {

// Frames decoded ahead to measure the rate of a stream that states none.
constexpr size_t RATE_SAMPLE_FRAMES = 12;
// A stated rate at the time base's tick rate and above this is no frame rate.
constexpr double MOST_FRAMES_PER_SECOND = 240;
// How far a measured rate may lie from the broadcast rate it is taken as:
// 0.5% for evenly timed frames, more as far as their times waver.
constexpr double MIN_RATE_TOLERANCE = 0.005;
constexpr double MAX_RATE_TOLERANCE = 0.05;

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

bool IsRate(AVRational rate)
{
    return rate.num > 0 && rate.den > 0;
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

bool DecodeInto(PictureInput& input, AVFrame& frame)
{
    for (;;) {
        const int received = avcodec_receive_frame(input.decoder.get(), &frame);
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
        } else if (input.measuring) {
            // Read ahead while opening, before anyone could take them.
            input.early.emplace_back(av_packet_clone(input.packet.get()));
        }
        av_packet_unref(input.packet.get());
    }
}

FramePtr DecodeFrame(PictureInput& input)
{
    FramePtr frame(av_frame_alloc());
    if (frame == nullptr)
        Fail(input.path, "out of memory");
    return DecodeInto(input, *frame) ? std::move(frame) : nullptr;
}

double SecondsOf(const AVFrame& frame, AVRational timeBase)
{
    return frame.best_effort_timestamp == AV_NOPTS_VALUE ? NAN
                                                         : double(frame.best_effort_timestamp) * av_q2d(timeBase);
}

// Decodes a few frames ahead and measures their rate.
AVRational MeasureAhead(PictureInput& input)
{
    std::vector<double> seconds;
    while (input.ahead.size() < RATE_SAMPLE_FRAMES) {
        FramePtr frame = DecodeFrame(input);
        if (frame == nullptr)
            break;
        seconds.push_back(SecondsOf(*frame, input.timeBase));
        input.ahead.push_back(std::move(frame));
    }
    return MeasuredRate(seconds);
}

bool IsRgb(AVPixelFormat format)
{
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    return descriptor != nullptr && (descriptor->flags & AV_PIX_FMT_FLAG_RGB);
}

}  // namespace

AVRational StatedRate(AVRational guessed, AVRational timeBase)
{
    if (!IsRate(guessed))
        return {0, 1};
    if (av_q2d(guessed) > MOST_FRAMES_PER_SECOND && av_cmp_q(guessed, av_inv_q(timeBase)) == 0)
        return {0, 1};
    return guessed;
}

AVRational MeasuredRate(const std::vector<double>& seconds)
{
    if (seconds.size() < 2 || !std::isfinite(seconds.front()) || !std::isfinite(seconds.back()) ||
        !(seconds.back() > seconds.front()))
        return {0, 1};
    const double span = seconds.back() - seconds.front();
    const double rate = double(seconds.size() - 1) / span;
    // Times stamped coarsely or unevenly leave the rate that much less sure.
    double slack = 0;
    for (size_t i = 0; i < seconds.size(); ++i)
        slack = std::max(slack, std::fabs(seconds[i] - seconds.front() - double(i) / rate));
    double tolerance = std::clamp(2 * slack / span, MIN_RATE_TOLERANCE, MAX_RATE_TOLERANCE);
    static const AVRational BROADCAST_RATES[] = {{24000, 1001}, {24, 1}, {25, 1},         {30000, 1001}, {30, 1},
                                                 {50, 1},       {60000, 1001}, {60, 1}, {15, 1},      {12, 1}};
    AVRational nearest = {0, 1};
    for (const AVRational candidate : BROADCAST_RATES) {
        const double error = std::fabs(rate / av_q2d(candidate) - 1);
        if (error < tolerance) {
            nearest = candidate;
            tolerance = error;
        }
    }
    if (nearest.num != 0)
        return nearest;
    return av_d2q(rate, 1001);
}

PictureInput OpenPictureInput(const PictureInputSettings& settings)
{
    std::string formatName = settings.formatName;
    if (formatName.empty() && !settings.size.empty())
        formatName = "rawvideo";
    if (formatName == "rawvideo" && settings.size.empty())
        FailUsage("raw video input needs --size WxH (and --pix-fmt unless it is yuv420p)");
    AVRational rateGiven = {0, 1};
    if (!settings.rate.empty() && (av_parse_video_rate(&rateGiven, settings.rate.c_str()) < 0 || !IsRate(rateGiven)))
        FailUsage("--rate: '" + settings.rate + "' is not a frame rate");
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
    AVStream& stream = *input.demuxer->streams[input.streamIndex];
    const AVCodecParameters& parameters = *stream.codecpar;
    input.decoder.reset(avcodec_alloc_context3(codec));
    avcodec_parameters_to_context(input.decoder.get(), &parameters);
    input.decoder->pkt_timebase = stream.time_base;
    UseSliceThreads(*input.decoder);
    const int opened = avcodec_open2(input.decoder.get(), codec, nullptr);
    if (opened < 0)
        Fail(settings.path, "cannot decode its " + std::string(codec->name) + " video: " + AvErrorText(opened));
    input.width = parameters.width;
    input.height = parameters.height;
    if (input.width <= 0 || input.height <= 0)
        Fail(settings.path, "the video has no picture size");
    input.timeBase = stream.time_base;
    input.sampleAspect = stream.sample_aspect_ratio;
    input.pixelFormat = AVPixelFormat(parameters.format);
    input.fieldOrderStated = settings.fieldOrder.has_value() || parameters.field_order != AV_FIELD_UNKNOWN;
    input.fieldOrder = settings.fieldOrder.value_or(FieldOrderOf(parameters.field_order, FieldOrder::TOP_FIRST));
    input.colour = {parameters.color_primaries, parameters.color_trc, parameters.color_space};
    input.fullRange = parameters.color_range == AVCOL_RANGE_JPEG;
    input.packet.reset(av_packet_alloc());

    input.rateGiven = IsRate(rateGiven);
    const AVRational guessed = av_guess_frame_rate(input.demuxer.get(), &stream, nullptr);
    input.rate = input.rateGiven ? rateGiven : StatedRate(guessed, stream.time_base);
    if (!IsRate(input.rate)) {
        input.measuring = true;
        input.rate = MeasureAhead(input);
        input.measuring = false;
        input.rateMeasured = IsRate(input.rate);
    }
    if (!IsRate(input.rate))
        input.rate = {25, 1};
    input.expectedFrames = ExpectedFrames(*input.demuxer, stream, input.rate);
    return input;
}

bool NextFrame(PictureInput& input)
{
    if (input.otherPacket) {
        for (PacketPtr& packet : input.early)
            input.otherPacket(*packet);
        input.early.clear();
    }
    FramePtr next;
    if (!input.ahead.empty()) {
        next = std::move(input.ahead.front());
        input.ahead.pop_front();
    } else {
        next = DecodeFrame(input);
    }
    if (next == nullptr)
        return false;
    if (next->width != input.width || next->height != input.height)
        Fail(input.path, "the picture size changes from " + std::to_string(input.width) + "x" +
                             std::to_string(input.height) + " to " + std::to_string(next->width) + "x" +
                             std::to_string(next->height) + " at frame " + std::to_string(input.framesRead));
    input.previous = std::move(input.frame);
    input.frame = std::move(next);
    input.lastPts = input.frame->best_effort_timestamp;
    ++input.framesRead;
    return true;
}

double FrameSeconds(const PictureInput& input)
{
    return SecondsOf(*input.frame, input.timeBase);
}

ColourFacts CodedColour(const PictureInput& input, const PixelLayout& layout, int codedWidth)
{
    ColourFacts colour = input.colour;
    if (layout.avFormat != AV_PIX_FMT_UYVY422)
        colour.matrix = CODEC_RGB_MATRIX;
    else if (IsRgb(input.pixelFormat))
        colour.matrix = DefaultMatrix(codedWidth, input.height);
    else
        colour.matrix = EffectiveMatrix(input.colour, input.width, input.height);
    return colour;
}

void ConvertPicture(PictureConverter& converter, const AVFrame& frame, const PixelLayout& layout, int codedWidth,
                    const PictureMeaning& meaning, uint8_t* picture)
{
    // 4:2:2 cannot hold an odd last column on its own; padding repeats the
    // whole last pair instead.
    int filledWidth = std::min(frame.width, codedWidth);
    if (layout.bitCount == 16 && filledWidth < codedWidth)
        filledWidth &= ~1;
    const PictureFormat from = {AVPixelFormat(frame.format), filledWidth, frame.height, meaning.matrix,
                                meaning.fullRange};
    const PictureFormat to = {layout.avFormat, filledWidth, frame.height, meaning.matrix, false};
    PrepareConverter(converter, from, to, meaning.interlaced);
    uint8_t* planes[4] = {picture, nullptr, nullptr, nullptr};
    const int strides[4] = {int(LineBytes(layout, codedWidth)), 0, 0, 0};
    RunConverter(converter, frame.data, frame.linesize, planes, strides);
    if (filledWidth < codedWidth)
        PadLines(picture, layout, filledWidth, codedWidth, frame.height);
}

void ConvertFrame(PictureInput& input, const AVFrame& frame, const PixelLayout& layout, int codedWidth,
                  uint8_t* picture)
{
    PictureMeaning meaning;
    meaning.matrix = IsRgb(AVPixelFormat(frame.format)) ? CodedColour(input, layout, codedWidth).matrix
                                                         : EffectiveMatrix(input.colour, input.width, input.height);
    meaning.fullRange = input.fullRange;
    meaning.interlaced = input.fieldOrder != FieldOrder::PROGRESSIVE;
    ConvertPicture(input.converter, frame, layout, codedWidth, meaning, picture);
}

bool ReadPicture(PictureInput& input, const PixelLayout& layout, int codedWidth, uint8_t* picture)
{
    if (!NextFrame(input))
        return false;
    ConvertFrame(input, *input.frame, layout, codedWidth, picture);
    return true;
}
