// SPDX-License-Identifier: BSD-2-Clause
#include "CodedInput.h"

#include "ToolError.h"

#include <cstdlib>
#include <cstring>

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
    input.codedFrom = PixelLayoutOfBitCount(stream.codecpar->bits_per_coded_sample);
    input.rate = stream.avg_frame_rate.num > 0 ? stream.avg_frame_rate : stream.r_frame_rate;
    if (input.rate.num <= 0 || input.rate.den <= 0)
        input.rate = {25, 1};
    input.sampleAspect = stream.sample_aspect_ratio;
    input.expectedFrames = stream.nb_frames;
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
