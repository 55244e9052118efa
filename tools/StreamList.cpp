// SPDX-License-Identifier: BSD-2-Clause
#include "StreamList.h"

#include <cstdio>
#include <string>

namespace {

std::string Seconds(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", seconds);
    return text;
}

// Its duration, or from the samples PCM declares (AVI gives no other), or nothing.
std::string Duration(const AVStream& stream)
{
    const AVCodecParameters& parameters = *stream.codecpar;
    if (stream.duration != AV_NOPTS_VALUE && stream.duration > 0)
        return ", " + Seconds(double(stream.duration) * av_q2d(stream.time_base));
    if (parameters.codec_type == AVMEDIA_TYPE_AUDIO && av_get_exact_bits_per_sample(parameters.codec_id) > 0 &&
        stream.nb_frames > 0 && parameters.sample_rate > 0)
        return ", " + Seconds(double(stream.nb_frames) / parameters.sample_rate);
    return "";
}

std::string Details(const AVStream& stream)
{
    const AVCodecParameters& parameters = *stream.codecpar;
    std::string text;
    if (parameters.codec_type == AVMEDIA_TYPE_AUDIO) {
        char layout[128] = "no channels";
        if (parameters.ch_layout.nb_channels > 0)
            av_channel_layout_describe(&parameters.ch_layout, layout, sizeof layout);
        text += ", " + std::to_string(parameters.sample_rate) + " Hz, " + layout;
        if (const char* format = av_get_sample_fmt_name(AVSampleFormat(parameters.format)))
            text += std::string(", ") + format;
        const int bits = parameters.bits_per_raw_sample > 0 ? parameters.bits_per_raw_sample
                                                            : av_get_exact_bits_per_sample(parameters.codec_id);
        if (bits > 0)
            text += " (" + std::to_string(bits) + " bit)";
    } else if (parameters.codec_type == AVMEDIA_TYPE_VIDEO && parameters.width > 0) {
        text += ", " + std::to_string(parameters.width) + "x" + std::to_string(parameters.height);
        if (stream.avg_frame_rate.num > 0)
            text += ", " + std::to_string(stream.avg_frame_rate.num) + "/" + std::to_string(stream.avg_frame_rate.den) +
                    " frames/s";
    }
    text += Duration(stream);
    if (stream.start_time != AV_NOPTS_VALUE && stream.start_time != 0)
        text += ", starts at " + Seconds(double(stream.start_time) * av_q2d(stream.time_base));
    if (const AVDictionaryEntry* language = av_dict_get(stream.metadata, "language", nullptr, 0))
        text += std::string(", language ") + language->value;
    if (const AVDictionaryEntry* title = av_dict_get(stream.metadata, "title", nullptr, 0))
        text += std::string(", \"") + title->value + "\"";
    return text;
}

}  // namespace

std::string CodecName(const AVStream& stream)
{
    const AVCodecParameters& parameters = *stream.codecpar;
    if (parameters.codec_id != AV_CODEC_ID_NONE)
        return avcodec_get_name(parameters.codec_id);
    if (const AVDictionaryEntry* file = av_dict_get(stream.metadata, "filename", nullptr, 0))
        return file->value;
    if (parameters.codec_tag == 0)
        return "";
    char tag[AV_FOURCC_MAX_STRING_SIZE] = {};
    return std::string("'") + av_fourcc_make_string(tag, parameters.codec_tag) + "'";
}

void PrintOtherStreams(const AVFormatContext& demuxer, int videoIndex)
{
    for (unsigned i = 0; i < demuxer.nb_streams; ++i) {
        if (int(i) == videoIndex)
            continue;
        const AVStream& stream = *demuxer.streams[i];
        const char* kind = av_get_media_type_string(stream.codecpar->codec_type);
        std::string details = CodecName(stream) + Details(stream);
        if (details.rfind(", ", 0) == 0)
            details.erase(0, 2);
        std::printf("%-11s stream %u: %s\n", kind != nullptr ? kind : "unknown", i, details.c_str());
    }
}

void PrintTags(const AVFormatContext& demuxer)
{
    std::string text;
    const AVDictionaryEntry* entry = nullptr;
    while ((entry = av_dict_get(demuxer.metadata, "", entry, AV_DICT_IGNORE_SUFFIX)) != nullptr)
        text += std::string(text.empty() ? "" : "; ") + entry->key + ": " + entry->value;
    if (!text.empty())
        std::printf("tags        %s\n", text.c_str());
}
