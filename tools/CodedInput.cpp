// SPDX-License-Identifier: BSD-2-Clause
#include "CodedInput.h"

#include "AviHeader.h"
#include "ToolError.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace {

bool IsRegularFile(const std::string& path)
{
    struct stat status = {};
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// AVI keeps the field order and colour where FFmpeg's demuxer does not look;
// other containers hand them over.
void ReadFacts(CodedInput& input, const AVStream& stream)
{
    AviHeader header;
    const bool avi = std::strcmp(input.demuxer->iformat->name, "avi") == 0;
    if (avi && IsRegularFile(input.path) && ReadAviHeader(input.path, header)) {
        input.fieldOrderRecorded = header.hasFieldOrder;
        input.fieldOrder = header.fieldOrder;
        input.colourRecorded = header.hasColour;
        input.colour = header.colour;
        return;
    }
    const AVCodecParameters& parameters = *stream.codecpar;
    input.fieldOrderRecorded = parameters.field_order != AV_FIELD_UNKNOWN;
    input.fieldOrder = FieldOrderOf(parameters.field_order, FieldOrder::TOP_FIRST);
    input.colour = {parameters.color_primaries, parameters.color_trc, parameters.color_space};
    input.colourRecorded = !(input.colour == ColourFacts{});
}

// The frames the header announces: counted, or from the duration.
int64_t AnnouncedFrames(const AVFormatContext& demuxer, const AVStream& stream, AVRational rate)
{
    if (stream.nb_frames > 0)
        return stream.nb_frames;
    double seconds = 0;
    if (stream.duration > 0)
        seconds = double(stream.duration) * av_q2d(stream.time_base);
    else if (demuxer.duration > 0)
        seconds = double(demuxer.duration) / AV_TIME_BASE;
    const double frames = seconds * av_q2d(rate);
    return frames < double(INT32_MAX) ? std::llround(frames) : 0;  // beyond that, not a header to believe
}

}  // namespace

CodedInput OpenCodedInput(const std::string& path, const std::string& formatName)
{
    CodedInput input;
    input.path = path;
    input.demuxer = OpenInputFile(path, formatName, nullptr);
    const AVFormatContext& demuxer = *input.demuxer;
    for (unsigned i = 0; i < demuxer.nb_streams; ++i) {
        if (demuxer.streams[i]->codecpar->codec_tag == FOURCC_QF25) {
            input.streamIndex = int(i);
            break;
        }
    }
    if (input.streamIndex < 0) {
        const int video = av_find_best_stream(input.demuxer.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (video < 0)
            Fail(path, "has no video stream");
        const AVCodecParameters& other = *demuxer.streams[video]->codecpar;
        if (other.codec_id == AV_CODEC_ID_NONE) {
            char tag[AV_FOURCC_MAX_STRING_SIZE] = {};
            Fail(path, std::string("its video has the FourCC '") + av_fourcc_make_string(tag, other.codec_tag) +
                           "', not QF25");
        }
        Fail(path, std::string("its video is ") + avcodec_get_name(other.codec_id) + ", not QF25");
    }
    const AVStream& stream = *demuxer.streams[input.streamIndex];
    input.width = stream.codecpar->width;
    input.height = std::abs(stream.codecpar->height);
    if (!IsPlausiblePictureSize(input.width, input.height))
        Fail(path, "the QF25 stream has the impossible picture size " + std::to_string(input.width) + "x" +
                       std::to_string(stream.codecpar->height));
    if (input.height < 2)
        Fail(path, "the QF25 stream's pictures are one line high, and the codec codes lines in pairs");
    input.codedFrom = PixelLayoutOfBitCount(stream.codecpar->bits_per_coded_sample);
    input.rate = stream.avg_frame_rate.num > 0 ? stream.avg_frame_rate : stream.r_frame_rate;
    if (input.rate.num <= 0 || input.rate.den <= 0)
        input.rate = {25, 1};
    input.sampleAspect = stream.sample_aspect_ratio;
    input.expectedFrames = AnnouncedFrames(demuxer, stream, input.rate);
    ReadFacts(input, stream);
    input.packet.reset(av_packet_alloc());
    return input;
}

bool ReadCodedFrame(CodedInput& input, std::vector<uint8_t>& coded, uint32_t& size)
{
    for (;;) {
        const int read = av_read_frame(input.demuxer.get(), input.packet.get());
        if (read == AVERROR_EOF || read == AVERROR_EXIT)
            return false;
        if (read < 0)
            Fail(input.path, "cannot read after frame " + std::to_string(input.framesRead) + ": " + AvErrorText(read));
        if (input.packet->stream_index != input.streamIndex) {
            if (input.otherPacket)
                input.otherPacket(*input.packet);
            av_packet_unref(input.packet.get());
            continue;
        }
        size = uint32_t(input.packet->size);
        if (coded.size() < size)
            coded.resize(size);
        if (size != 0)
            std::memcpy(coded.data(), input.packet->data, size);
        if (input.framesRead == 0)
            input.firstPts = input.packet->pts;
        av_packet_unref(input.packet.get());
        ++input.framesRead;
        return true;
    }
}

std::string MissingFrames(const CodedInput& input)
{
    if (input.framesRead >= input.expectedFrames)
        return "";
    return "the file ends after " + std::to_string(input.framesRead) + " of the " +
           std::to_string(input.expectedFrames) + " frames its header announces; it was cut short";
}

AVColorSpace DecodedMatrix(const CodedInput& input)
{
    return EffectiveMatrix(input.colour, input.width, input.height);
}
