// SPDX-License-Identifier: BSD-2-Clause
#include "CodedOutput.h"

#include "Interrupt.h"
#include "ToolError.h"

#include <cstring>

const AVOutputFormat* ChooseOutputFormat(const std::string& path, const std::string& formatName)
{
    const AVOutputFormat* format =
        av_guess_format(formatName.empty() ? nullptr : formatName.c_str(), path.c_str(), nullptr);
    if (format == nullptr) {
        if (!formatName.empty())
            FailUsage("unknown output format '" + formatName + "'");
        Fail(path, "cannot tell the container from the name; add --format NAME");
    }
    return format;
}

const AVOutputFormat* CodedOutputFormat(const std::string& path, const std::string& formatName)
{
    const AVOutputFormat* format = ChooseOutputFormat(path, formatName);
    return std::strcmp(format->name, "avi") == 0 ? nullptr : format;
}

namespace {

void OpenMuxer(CodedOutput& output, const AVOutputFormat* format, const std::string& writePath,
               const CodedStreamInfo& stream, StreamCarrier* carrier)
{
    AVFormatContext* raw = nullptr;
    avformat_alloc_output_context2(&raw, format, nullptr, nullptr);
    if (raw == nullptr)
        Fail(output.path, "cannot set up the container");
    output.muxer.reset(raw);
    AVStream* video = avformat_new_stream(raw, nullptr);
    AVCodecParameters& parameters = *video->codecpar;
    parameters.codec_type = AVMEDIA_TYPE_VIDEO;
    parameters.codec_id = AV_CODEC_ID_NONE;
    parameters.codec_tag = FOURCC_QF25;
    parameters.width = stream.width;
    parameters.height = stream.height;
    parameters.bits_per_coded_sample = stream.layout->bitCount;
    parameters.field_order = AvFieldOrder(stream.fieldOrder);
    parameters.color_primaries = stream.colour.primaries;
    parameters.color_trc = stream.colour.transfer;
    parameters.color_space = stream.colour.matrix;
    parameters.color_range = AVCOL_RANGE_MPEG;
    parameters.sample_aspect_ratio = stream.sampleAspect;
    video->sample_aspect_ratio = stream.sampleAspect;
    video->time_base = av_inv_q(stream.rate);
    video->avg_frame_rate = stream.rate;
    video->r_frame_rate = stream.rate;
    if (carrier != nullptr) {
        AddCarriedMuxerStreams(*carrier, *raw, *video);
        output.interleaved = raw->nb_streams > 1;
    }
    if (!(format->flags & AVFMT_NOFILE)) {
        const int opened = avio_open(&raw->pb, FfmpegUrl(writePath, true).c_str(), AVIO_FLAG_WRITE);
        if (opened < 0)
            Fail(output.path, AvErrorText(opened));
    }
    const int written = avformat_write_header(raw, nullptr);
    if (written < 0)
        Fail(output.path, std::string("the ") + format->name + " container cannot hold QF25 video: " +
                              AvErrorText(written));
}

}  // namespace

CodedOutput OpenCodedOutput(const std::string& path, const std::string& writePath, const std::string& formatName,
                            const CodedStreamInfo& stream, StreamCarrier* carrier)
{
    CodedOutput output;
    output.path = path;
    output.rate = stream.rate;
    const AVOutputFormat* format = CodedOutputFormat(path, formatName);
    if (format != nullptr) {
        OpenMuxer(output, format, writePath, stream, carrier);
        return output;
    }
    if (writePath == "-")
        FailUsage("AVI output needs a file: its headers are completed when the last frame is written");
    AviStreamInfo info;
    info.width = stream.width;
    info.height = stream.height;
    info.rate = stream.rate;
    info.sampleAspect = stream.sampleAspect;
    info.format = CompressedHeader(*stream.layout, stream.width, stream.height);
    info.fieldOrder = stream.fieldOrder;
    info.colour = stream.colour;
    output.avi = std::make_unique<AviWriter>();
    output.avi->path = path;
    if (carrier != nullptr)
        AddCarriedAvi(*carrier, *output.avi, info);
    OpenAvi(*output.avi, writePath, info);
    return output;
}

void WriteCodedFrame(CodedOutput& output, const uint8_t* data, uint32_t size)
{
    if (output.readerGone)
        return;
    if (output.avi) {
        WriteAviFrame(*output.avi, data, size);
    } else {
        PacketPtr packet(av_packet_alloc());
        if (av_new_packet(packet.get(), int(size)) < 0)
            Fail(output.path, "out of memory");
        std::memcpy(packet->data, data, size);
        AVStream& video = *output.muxer->streams[0];
        packet->pts = packet->dts = av_rescale_q(output.frames, av_inv_q(output.rate), video.time_base);
        packet->duration = av_rescale_q(1, av_inv_q(output.rate), video.time_base);
        packet->flags = AV_PKT_FLAG_KEY;
        const int written = output.interleaved ? av_interleaved_write_frame(output.muxer.get(), packet.get())
                                               : av_write_frame(output.muxer.get(), packet.get());
        if (written == AVERROR(EPIPE)) {
            // Whoever read our output has gone: stop as if interrupted.
            output.readerGone = true;
            StopForClosedOutput();
            return;
        }
        if (written < 0)
            Fail(output.path, "cannot write: " + AvErrorText(written));
    }
    ++output.frames;
    output.bytes += size;
}

void CloseCodedOutput(CodedOutput& output)
{
    if (output.avi) {
        CloseAvi(*output.avi);
        return;
    }
    output.readerGone = FinishOutput(*output.muxer, output.path, output.readerGone);
}
