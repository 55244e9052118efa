// SPDX-License-Identifier: BSD-2-Clause
#include "StreamCarrier.h"

#include "CarriedTags.h"
#include "StreamList.h"
#include "ToolError.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdio>
#include <cstring>

namespace {

constexpr int64_t MAX_LEAD_SECONDS = 10;    // black pictures before sound that starts earlier, at most
constexpr uint64_t WAVE_SPEAKER_BITS = 0x3FFFF;  // WAVE's speakers, which FFmpeg's first channel bits match
constexpr int MAX_DAMAGE_LINES = 10;        // per stream; the last line lists the damaged streams anyway

const char* KindOf(AVMediaType type)
{
    switch (type) {
    case AVMEDIA_TYPE_VIDEO:
        return "video";
    case AVMEDIA_TYPE_AUDIO:
        return "audio";
    case AVMEDIA_TYPE_SUBTITLE:
        return "subtitles";
    case AVMEDIA_TYPE_DATA:
        return "data";
    case AVMEDIA_TYPE_ATTACHMENT:
        return "attachment";
    default:
        return "of unknown kind";
    }
}

std::string Describe(const AVStream& stream)
{
    const std::string codec = CodecName(stream);
    return "stream " + std::to_string(stream.index) + " (" + (codec.empty() ? "" : codec + " ") +
           KindOf(stream.codecpar->codec_type) + ")";
}

void Say(const std::string& file, const std::string& text)
{
    std::fprintf(stderr, "qf25: %s: %s\n", file.c_str(), text.c_str());
}

std::string SecondsText(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", seconds);
    return text;
}

bool IsAviPcm(AVCodecID id)
{
    return id == AV_CODEC_ID_PCM_U8 || id == AV_CODEC_ID_PCM_S16LE || id == AV_CODEC_ID_PCM_S24LE ||
           id == AV_CODEC_ID_PCM_S32LE || id == AV_CODEC_ID_PCM_F32LE || id == AV_CODEC_ID_PCM_F64LE;
}

// The bytes of one sample of every channel for PCM, whose packets must hold
// whole ones; 0 for other codecs.
int PcmBlockBytes(const AVCodecParameters& parameters)
{
    const int bits = av_get_exact_bits_per_sample(parameters.codec_id);
    const bool pcm = std::strncmp(avcodec_get_name(parameters.codec_id), "pcm_", 4) == 0;
    return pcm && bits >= 8 && bits % 8 == 0 ? parameters.ch_layout.nb_channels * bits / 8 : 0;
}

AviAudioInfo AviInfoOf(AVCodecID id, const AVChannelLayout& layout, int sampleRate)
{
    AviAudioInfo info;
    info.channels = layout.nb_channels;
    info.sampleRate = sampleRate;
    info.bitsPerSample = av_get_bits_per_sample(id);
    info.isFloat = id == AV_CODEC_ID_PCM_F32LE || id == AV_CODEC_ID_PCM_F64LE;
    // One or two channels of no stated order are mono or stereo to everyone.
    AVChannelLayout known = {};
    if (layout.order == AV_CHANNEL_ORDER_NATIVE)
        av_channel_layout_copy(&known, &layout);
    else if (layout.nb_channels <= 2)
        av_channel_layout_default(&known, layout.nb_channels);
    // Speakers WAVE has no bit for leave them all unnamed.
    if (known.order == AV_CHANNEL_ORDER_NATIVE && std::popcount(known.u.mask & WAVE_SPEAKER_BITS) == info.channels)
        info.channelMask = uint32_t(known.u.mask);
    av_channel_layout_uninit(&known);
    return info;
}

bool Holds(const AVOutputFormat& format, AVCodecID id)
{
    return id != AV_CODEC_ID_NONE && avformat_query_codec(&format, id, FF_COMPLIANCE_NORMAL) == 1;
}

bool HoldsAsIs(const CarryTarget& target, AVCodecID id)
{
    return target.format == nullptr ? IsAviPcm(id) : Holds(*target.format, id);
}

std::string Holder(const CarryTarget& target)
{
    return target.format == nullptr ? "AVI" : std::string("the ") + target.format->name + " container";
}

// A lossless codec the output takes for what the decoder gives, or nullptr.
const AVCodec* LosslessEncoder(const CarryTarget& target, const AVCodecContext& decoder)
{
    const AVSampleFormat format = av_get_packed_sample_fmt(decoder.sample_fmt);
    const int rawBits = decoder.bits_per_raw_sample;
    const bool flac = format == AV_SAMPLE_FMT_S16 || (format == AV_SAMPLE_FMT_S32 && rawBits > 0 && rawBits <= 24);
    const AVCodecID pcm = LosslessPcmCodec(decoder.sample_fmt, rawBits);
    for (const AVCodecID id : {pcm, flac ? AV_CODEC_ID_FLAC : AV_CODEC_ID_NONE}) {
        if (id != AV_CODEC_ID_NONE && HoldsAsIs(target, id))
            return avcodec_find_encoder(id);
    }
    return nullptr;
}

// Copies sound the output holds, or sets up its conversion; returns why it
// is left out, or an empty text.
std::string PlanAudio(const StreamCarrier& carrier, const AVStream& stream, CarriedStream& carried)
{
    const AVCodecParameters& parameters = *stream.codecpar;
    const CarryTarget& target = carrier.target;
    const std::string& named = carrier.options.audioCodec;
    const bool asked = !named.empty() && named != "copy";
    if (parameters.sample_rate <= 0 || parameters.ch_layout.nb_channels <= 0)
        return "its sound format is unknown";
    if (!asked && HoldsAsIs(target, parameters.codec_id)) {
        carried.avi = AviInfoOf(parameters.codec_id, parameters.ch_layout, parameters.sample_rate);
        return target.format != nullptr || IsAviAudioFormat(carried.avi) ? "" : "AVI takes no such sound";
    }
    const AVCodec* encoder = nullptr;
    if (asked) {
        encoder = avcodec_find_encoder_by_name(named.c_str());
        if (encoder == nullptr || encoder->type != AVMEDIA_TYPE_AUDIO)
            FailUsage("--audio-codec: no audio encoder named '" + named + "'");
        if (!HoldsAsIs(target, encoder->id))
            FailUsage("--audio-codec: " + Holder(target) + " does not hold " + named +
                      (target.format == nullptr ? " (it holds little-endian PCM sound only)" : ""));
    }
    carried.convert = true;
    carried.converter.path = carrier.inPath;
    try {
        OpenAudioDecoder(carried.converter, stream);
    } catch (const ToolError& error) {
        return error.message.substr(carrier.inPath.size() + 2);
    }
    if (encoder == nullptr)
        encoder = LosslessEncoder(target, *carried.converter.decoder);
    if (encoder == nullptr)
        return Holder(target) + " holds neither it nor a lossless codec for it";
    const bool globalHeader = target.format != nullptr && (target.format->flags & AVFMT_GLOBALHEADER);
    OpenAudioEncoder(carried.converter, *encoder, globalHeader);
    const AVCodecContext& coded = *carried.converter.encoder;
    carried.avi = AviInfoOf(encoder->id, coded.ch_layout, coded.sample_rate);
    if (target.format == nullptr && !IsAviAudioFormat(carried.avi))
        return "AVI takes no such sound";
    if (!asked)
        Say(carrier.inPath, carried.name + " is converted to " + encoder->name + ": " + Holder(target) +
                                (target.format == nullptr ? " holds little-endian PCM sound only"
                                                          : std::string(" does not hold ") +
                                                                avcodec_get_name(parameters.codec_id)));
    return "";
}

std::string PlanOther(const StreamCarrier& carrier, const AVStream& stream)
{
    const CarryTarget& target = carrier.target;
    const AVCodecParameters& parameters = *stream.codecpar;
    if (target.format == nullptr)
        return "AVI holds the coded video and PCM sound only";
    const bool held = parameters.codec_type == AVMEDIA_TYPE_ATTACHMENT
                          ? std::strstr(target.format->name, "matroska") != nullptr
                          : Holds(*target.format, parameters.codec_id);
    return held ? "" : Holder(target) + " does not hold it";
}

// `what` follows the stream's name: "is damaged at ...".
void Report(StreamCarrier& carrier, CarriedStream& stream, const std::string& what)
{
    if (!stream.damaged)
        carrier.damagedStreams.push_back(stream.input);
    stream.damaged = true;
    if (++stream.damageLines <= MAX_DAMAGE_LINES)
        Say(carrier.inPath, stream.name + " " + what);
}

void Damaged(StreamCarrier& carrier, CarriedStream& stream, double seconds, const std::string& problem)
{
    Report(carrier, stream, "is damaged at " + SecondsText(seconds) + " (" + problem + ")");
}

// A packet's time in microseconds, by its decoding order; unknown: INT64_MIN.
int64_t PacketTime(const AVPacket& packet, AVRational timeBase)
{
    const int64_t time = packet.dts != AV_NOPTS_VALUE ? packet.dts : packet.pts;
    return time == AV_NOPTS_VALUE ? INT64_MIN : av_rescale_q(time, timeBase, AV_TIME_BASE_Q);
}

int64_t FrameTime(const StreamCarrier& carrier, int64_t frames)
{
    return carrier.origin + av_rescale(frames, int64_t(AV_TIME_BASE) * carrier.rate.den, carrier.rate.num);
}

void PutMuxer(StreamCarrier& carrier, const CarriedStream& stream, AVPacket& packet, AVRational timeBase)
{
    const int64_t origin = av_rescale_q(carrier.origin, AV_TIME_BASE_Q, timeBase);
    if (packet.pts != AV_NOPTS_VALUE)
        packet.pts -= origin;
    if (packet.dts != AV_NOPTS_VALUE)
        packet.dts -= origin;
    packet.stream_index = stream.output;
    packet.pos = -1;
    av_packet_rescale_ts(&packet, timeBase, carrier.muxer->streams[stream.output]->time_base);
    const int written = av_interleaved_write_frame(carrier.muxer, &packet);
    if (written < 0)
        Fail(carrier.target.path, "cannot write " + stream.name + ": " + AvErrorText(written));
}

// Places the samples by their time, which keeps them in step with the
// pictures across gaps.
void PutAvi(StreamCarrier& carrier, CarriedStream& stream, const AVPacket& packet, AVRational timeBase)
{
    const uint32_t blockBytes = AviBlockBytes(stream.avi);
    const size_t bytes = size_t(packet.size) / blockBytes * blockBytes;
    const int rate = stream.avi.sampleRate;
    const int64_t given = int64_t(AviAudioBlocks(*carrier.avi, stream.output));
    if (packet.pts == AV_NOPTS_VALUE) {
        WriteAviAudio(*carrier.avi, stream.output, packet.data, bytes);
        return;
    }
    const AVRational sample = {1, rate};
    const int64_t at = av_rescale_q(packet.pts, timeBase, sample) -
                       av_rescale_q(carrier.origin, AV_TIME_BASE_Q, sample) +
                       av_rescale(carrier.leadFrames, int64_t(rate) * carrier.rate.den, carrier.rate.num);
    const int64_t change = PlaceAviAudio(*carrier.avi, stream.output, at, packet.data, bytes);
    if (change > 0 && given > 0)
        Say(carrier.inPath, stream.name + ": " + SecondsText(double(change) / rate) + " of sound missing at " +
                                SecondsText(double(given) / rate) + "; filled with silence");
    if (change < 0)
        Say(carrier.inPath, stream.name + ": the first " + SecondsText(double(-change) / rate) +
                                " of sound come before the first picture and are left out");
}

void Put(StreamCarrier& carrier, CarriedStream& stream, AVPacket& packet, AVRational timeBase)
{
    if (carrier.avi != nullptr)
        PutAvi(carrier, stream, packet, timeBase);
    else
        PutMuxer(carrier, stream, packet, timeBase);
}

void Deliver(StreamCarrier& carrier, CarriedStream& stream, AVPacket& packet)
{
    const AVStream& input = *carrier.input->streams[stream.input];
    if (!stream.convert) {
        Put(carrier, stream, packet, input.time_base);
        return;
    }
    const AVRational coded = stream.converter.encoder->time_base;
    const std::string problem = ConvertAudio(stream.converter, &packet, [&](AVPacket& out) {
        Put(carrier, stream, out, coded);
    });
    if (!problem.empty())
        Damaged(carrier, stream, double(PacketTime(packet, input.time_base)) / AV_TIME_BASE, problem);
}

void ReleaseUpTo(StreamCarrier& carrier, int64_t bound)
{
    std::deque<PacketPtr> later;
    while (!carrier.held.empty()) {
        PacketPtr packet = std::move(carrier.held.front());
        carrier.held.pop_front();
        const int index = packet->stream_index;
        if (PacketTime(*packet, carrier.input->streams[index]->time_base) >= bound) {
            later.push_back(std::move(packet));
            continue;
        }
        Deliver(carrier, carrier.streams[size_t(carrier.slots[size_t(index)])], *packet);
    }
    carrier.held = std::move(later);
}

// The packets after the last picture read: to the end, or past `bound`.
void ReadRest(StreamCarrier& carrier, int64_t bound)
{
    PacketPtr packet(av_packet_alloc());
    std::vector<bool> past(carrier.streams.size(), false);
    while (bound == INT64_MAX || !std::all_of(past.begin(), past.end(), [](bool done) { return done; })) {
        const int read = av_read_frame(carrier.input, packet.get());
        if (read == AVERROR_EOF || read == AVERROR_EXIT)
            return;
        if (read < 0) {
            Say(carrier.inPath, "cannot read past the pictures: " + AvErrorText(read));
            for (CarriedStream& stream : carrier.streams)
                Damaged(carrier, stream, double(FrameTime(carrier, 0)) / AV_TIME_BASE, "unreadable");
            return;
        }
        const int index = packet->stream_index;
        const int slot = index >= 0 && size_t(index) < carrier.slots.size() ? carrier.slots[size_t(index)] : -1;
        if (slot >= 0 && PacketTime(*packet, carrier.input->streams[index]->time_base) >= bound)
            past[size_t(slot)] = true;
        else
            HoldCarriedPacket(carrier, *packet);
        av_packet_unref(packet.get());
    }
}

std::string Title(const AVDictionary* metadata)
{
    const AVDictionaryEntry* title = av_dict_get(metadata, "title", nullptr, 0);
    return title != nullptr ? title->value : "";
}

AVDictionary* CarriedFileTags(const StreamCarrier& carrier)
{
    AVDictionary* tags = FileTags(*carrier.input, *carrier.video);
    if (!carrier.timecode.empty())
        av_dict_set(&tags, "timecode", carrier.timecode.c_str(), AV_DICT_DONT_OVERWRITE);
    return tags;
}

void AddMissing(std::string& text, const std::vector<std::string>& missing, const std::string& where)
{
    for (const std::string& tag : missing)
        text += (text.empty() ? "" : ", ") + tag + where;
}

// PCM whose file declares more samples than it holds was cut short.
void CheckLengths(StreamCarrier& carrier)
{
    for (CarriedStream& stream : carrier.streams) {
        const AVStream& input = *carrier.input->streams[stream.input];
        const int blockBytes = PcmBlockBytes(*input.codecpar);
        const int rate = input.codecpar->sample_rate;
        if (blockBytes == 0 || input.nb_frames <= 0 ||
            stream.samples + av_rescale(rate, carrier.rate.den, carrier.rate.num) >= input.nb_frames)
            continue;
        Report(carrier, stream, "is cut short: it ends after " + SecondsText(double(stream.samples) / rate) +
                                    " of the " + SecondsText(double(input.nb_frames) / rate) + " the file declares");
    }
}

}  // namespace

StreamCarrier PlanCarriedStreams(const std::string& inPath, AVFormatContext& input, int videoIndex, AVRational rate,
                                 const CarryTarget& target, const CarryOptions& options)
{
    StreamCarrier carrier;
    carrier.inPath = inPath;
    carrier.target = target;
    carrier.options = options;
    carrier.input = &input;
    carrier.video = input.streams[videoIndex];
    carrier.rate = rate;
    carrier.slots.assign(input.nb_streams, -1);
    std::string leftOut;
    for (unsigned i = 0; i < input.nb_streams; ++i) {
        const AVStream& stream = *input.streams[i];
        const AVMediaType type = stream.codecpar->codec_type;
        if (int(i) == videoIndex || options.noStreams || (type == AVMEDIA_TYPE_AUDIO && options.noAudio))
            continue;
        CarriedStream carried;
        carried.input = int(i);
        carried.name = Describe(stream);
        // A timecode track goes with the coded video as its timecode tag.
        const AVDictionaryEntry* timecode = av_dict_get(stream.metadata, "timecode", nullptr, 0);
        if (type == AVMEDIA_TYPE_DATA && stream.codecpar->codec_id == AV_CODEC_ID_NONE && timecode != nullptr) {
            carrier.timecode = timecode->value;
            continue;
        }
        if (target.picturesOnly) {
            leftOut += (leftOut.empty() ? "" : ", ") + carried.name;
            continue;
        }
        const std::string reason =
            type == AVMEDIA_TYPE_AUDIO ? PlanAudio(carrier, stream, carried) : PlanOther(carrier, stream);
        if (!reason.empty()) {
            Say(inPath, carried.name + " is left out: " + reason);
            continue;
        }
        carrier.slots[i] = int(carrier.streams.size());
        carrier.streams.push_back(std::move(carried));
    }
    if (target.picturesOnly) {
        AVDictionary* tags = FileTags(input, *carrier.video);
        if (!MissingTags(tags, nullptr, false).empty())
            leftOut += std::string(leftOut.empty() ? "" : ", ") + "the tags";
        av_dict_free(&tags);
    }
    if (!leftOut.empty())
        Say(target.path, "the " + std::string(target.format->name) + " output holds pictures only; left out: " +
                             leftOut);
    return carrier;
}

void AddCarriedAvi(StreamCarrier& carrier, AviWriter& writer, AviStreamInfo& video)
{
    carrier.avi = &writer;
    AVDictionary* fileTags = CarriedFileTags(carrier);
    AddAviFileTags(fileTags, writer.tags);
    av_dict_free(&fileTags);
    video.title = Title(carrier.video->metadata);
    for (CarriedStream& stream : carrier.streams) {
        stream.avi.title = Title(carrier.input->streams[stream.input]->metadata);
        stream.output = AddAviAudio(writer, stream.avi);
    }
}

void AddCarriedMuxerStreams(StreamCarrier& carrier, AVFormatContext& muxer, AVStream& video)
{
    carrier.muxer = &muxer;
    const AVFormatContext& input = *carrier.input;
    av_dict_free(&muxer.metadata);
    muxer.metadata = CarriedFileTags(carrier);
    av_dict_free(&video.metadata);
    video.metadata = VideoTags(*carrier.video);
    if (!carrier.timecode.empty())
        av_dict_set(&video.metadata, "timecode", carrier.timecode.c_str(), AV_DICT_DONT_OVERWRITE);
    for (CarriedStream& stream : carrier.streams) {
        const AVStream& in = *input.streams[stream.input];
        AVStream* out = avformat_new_stream(&muxer, nullptr);
        if (out == nullptr)
            Fail(carrier.target.path, "out of memory");
        stream.output = out->index;
        if (stream.convert) {
            avcodec_parameters_from_context(out->codecpar, stream.converter.encoder.get());
            out->time_base = stream.converter.encoder->time_base;
        } else {
            avcodec_parameters_copy(out->codecpar, in.codecpar);
            out->codecpar->codec_tag = 0;  // the output's own tag for the codec
            out->time_base = in.time_base;
        }
        out->disposition = in.disposition;
        out->avg_frame_rate = in.avg_frame_rate;
        out->sample_aspect_ratio = in.sample_aspect_ratio;
        av_dict_copy(&out->metadata, in.metadata, 0);
        if (stream.convert)
            av_dict_set(&out->metadata, "encoder", nullptr, 0);
    }
}

void HoldCarriedPacket(StreamCarrier& carrier, AVPacket& packet)
{
    const int index = packet.stream_index;
    if (index < 0 || size_t(index) >= carrier.slots.size() || carrier.slots[size_t(index)] < 0)
        return;
    CarriedStream& stream = carrier.streams[size_t(carrier.slots[size_t(index)])];
    const AVStream& input = *carrier.input->streams[index];
    const double seconds = double(PacketTime(packet, input.time_base)) / AV_TIME_BASE;
    const bool corrupt = packet.flags & AV_PKT_FLAG_CORRUPT;
    if (corrupt)
        Damaged(carrier, stream, seconds, "the file marks its data as damaged");
    if (const int blockBytes = PcmBlockBytes(*input.codecpar)) {
        if (const int part = packet.size % blockBytes) {
            if (!corrupt)
                Damaged(carrier, stream, seconds,
                        "a packet of " + std::to_string(packet.size) + " bytes ends inside a sample");
            packet.size -= part;  // what is left of the sample would shift every channel after it
        }
        stream.samples += packet.size / blockBytes;
    }
    PacketPtr held(av_packet_alloc());
    av_packet_move_ref(held.get(), &packet);
    carrier.held.push_back(std::move(held));
}

int64_t StartCarriedTimeline(StreamCarrier& carrier, int64_t firstPts)
{
    const AVStream& video = *carrier.video;
    if (firstPts != AV_NOPTS_VALUE)
        carrier.origin = av_rescale_q(firstPts, video.time_base, AV_TIME_BASE_Q);
    else if (video.start_time != AV_NOPTS_VALUE)
        carrier.origin = av_rescale_q(video.start_time, video.time_base, AV_TIME_BASE_Q);
    else
        carrier.origin = 0;
    if (carrier.avi == nullptr)
        return 0;
    int64_t earliest = carrier.origin;
    for (const CarriedStream& stream : carrier.streams) {
        const AVStream& input = *carrier.input->streams[stream.input];
        int64_t start = input.start_time == AV_NOPTS_VALUE ? INT64_MAX
                                                            : av_rescale_q(input.start_time, input.time_base,
                                                                           AV_TIME_BASE_Q);
        for (const PacketPtr& packet : carrier.held) {
            if (packet->stream_index == stream.input && packet->pts != AV_NOPTS_VALUE) {
                start = std::min(start, av_rescale_q(packet->pts, input.time_base, AV_TIME_BASE_Q));
                break;
            }
        }
        earliest = std::min(earliest, start);
    }
    if (earliest >= carrier.origin)
        return 0;
    const int64_t frames = av_rescale_rnd(carrier.origin - earliest, carrier.rate.num,
                                          int64_t(AV_TIME_BASE) * carrier.rate.den, AV_ROUND_UP);
    carrier.leadFrames = std::min(frames, av_rescale(MAX_LEAD_SECONDS, carrier.rate.num, carrier.rate.den));
    if (!carrier.options.quiet)
        Say(carrier.target.path, "the sound starts " + SecondsText(double(carrier.origin - earliest) / AV_TIME_BASE) +
                                     " before the first picture; " + std::to_string(carrier.leadFrames) +
                                     " black frames lead in");
    return carrier.leadFrames;
}

void ReleaseCarried(StreamCarrier& carrier, int64_t frames)
{
    ReleaseUpTo(carrier, FrameTime(carrier, frames));
}

bool FinishCarried(StreamCarrier& carrier, CarryEnd end, int64_t frames)
{
    if (carrier.origin == AV_NOPTS_VALUE) {
        // No picture at all: the sound keeps its place against the video's start.
        AviWriter* avi = carrier.avi;
        carrier.avi = nullptr;
        StartCarriedTimeline(carrier, AV_NOPTS_VALUE);
        carrier.avi = avi;
    }
    const int64_t bound = end == CarryEnd::COMPLETE ? INT64_MAX : FrameTime(carrier, frames);
    if (end != CarryEnd::INTERRUPTED)
        ReadRest(carrier, bound);
    ReleaseUpTo(carrier, bound);
    carrier.held.clear();
    for (CarriedStream& stream : carrier.streams) {
        if (!stream.convert)
            continue;
        const AVRational coded = stream.converter.encoder->time_base;
        const std::string problem = ConvertAudio(stream.converter, nullptr, [&](AVPacket& out) {
            Put(carrier, stream, out, coded);
        });
        if (!problem.empty())
            Damaged(carrier, stream, double(FrameTime(carrier, frames)) / AV_TIME_BASE, problem);
    }
    if (end == CarryEnd::COMPLETE)
        CheckLengths(carrier);
    if (carrier.damagedStreams.empty())
        return false;
    std::string list;
    for (const int index : carrier.damagedStreams)
        list += (list.empty() ? "" : ", ") + std::to_string(index);
    Say(carrier.inPath, "damaged streams: " + list);
    return true;
}

void CheckCarriedTags(const StreamCarrier& carrier, const std::string& written)
{
    AVFormatContext* raw = nullptr;
    if (written == "-" || avformat_open_input(&raw, FfmpegUrl(written, false).c_str(), nullptr, nullptr) < 0)
        return;
    InputContext output(raw);
    AVDictionary* everything = nullptr;  // a timecode, say, may come back on a stream of its own
    av_dict_copy(&everything, raw->metadata, AV_DICT_MULTIKEY);
    for (unsigned i = 0; i < raw->nb_streams; ++i)
        av_dict_copy(&everything, raw->streams[i]->metadata, AV_DICT_MULTIKEY);
    AVDictionary* fileTags = CarriedFileTags(carrier);
    std::string text;
    AddMissing(text, MissingTags(fileTags, everything, false), "");
    av_dict_free(&fileTags);
    av_dict_free(&everything);
    // A stream's tag that the output keeps for the whole file is kept.
    const auto checkStream = [&](const AVDictionary* expected, int index, int outputIndex) {
        if (outputIndex < 0 || unsigned(outputIndex) >= raw->nb_streams)
            return;
        AVDictionary* found = nullptr;
        av_dict_copy(&found, raw->streams[outputIndex]->metadata, AV_DICT_MULTIKEY);
        av_dict_copy(&found, raw->metadata, AV_DICT_MULTIKEY);
        AddMissing(text, MissingTags(expected, found, true), " of stream " + std::to_string(index));
        av_dict_free(&found);
    };
    AVDictionary* videoTags = VideoTags(*carrier.video);
    checkStream(videoTags, carrier.video->index, 0);
    av_dict_free(&videoTags);
    for (const CarriedStream& stream : carrier.streams)
        checkStream(carrier.input->streams[stream.input]->metadata, stream.input,
                    carrier.avi != nullptr ? stream.output + 1 : stream.output);
    if (!text.empty())
        Say(carrier.inPath, "tags the output does not hold are left out: " + text);
}

std::string CarriedSummary(const StreamCarrier& carrier)
{
    const size_t count = carrier.streams.size();
    if (count == 0)
        return "";
    return ", " + std::to_string(count) + " more stream" + (count == 1 ? "" : "s");
}
