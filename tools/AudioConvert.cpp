// SPDX-License-Identifier: BSD-2-Clause
#include "AudioConvert.h"

#include "ToolError.h"

extern "C" {
#include <libavutil/opt.h>
}

namespace {

AVSampleFormat EncoderSampleFormat(const AVCodec& encoder, AVSampleFormat decoded)
{
    if (encoder.sample_fmts == nullptr)
        return decoded;
    const AVSampleFormat packed = av_get_packed_sample_fmt(decoded);
    for (const AVSampleFormat wanted : {decoded, packed, av_get_planar_sample_fmt(decoded)}) {
        for (const AVSampleFormat* format = encoder.sample_fmts; *format != AV_SAMPLE_FMT_NONE; ++format) {
            if (*format == wanted)
                return wanted;
        }
    }
    return encoder.sample_fmts[0];
}

void Encode(AudioConverter& converter, AVFrame* frame, const std::function<void(AVPacket&)>& deliver)
{
    const int sent = avcodec_send_frame(converter.encoder.get(), frame);
    if (sent < 0)
        Fail(converter.path, std::string("cannot code its sound with ") + converter.encoder->codec->name + ": " +
                                 AvErrorText(sent));
    for (;;) {
        const int received = avcodec_receive_packet(converter.encoder.get(), converter.packet.get());
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF)
            return;
        if (received < 0)
            Fail(converter.path, "cannot code its sound: " + AvErrorText(received));
        deliver(*converter.packet);
        av_packet_unref(converter.packet.get());
    }
}

// Codes the samples of the fifo in frames of the encoder's size (the last
// one shorter, at the end).
void EncodeFifo(AudioConverter& converter, bool ending, const std::function<void(AVPacket&)>& deliver)
{
    AVCodecContext& encoder = *converter.encoder;
    AVAudioFifo* fifo = converter.fifo.get();
    while (av_audio_fifo_size(fifo) >= encoder.frame_size || (ending && av_audio_fifo_size(fifo) > 0)) {
        FramePtr frame(av_frame_alloc());
        frame->nb_samples = std::min(av_audio_fifo_size(fifo), encoder.frame_size);
        frame->format = encoder.sample_fmt;
        frame->sample_rate = encoder.sample_rate;
        av_channel_layout_copy(&frame->ch_layout, &encoder.ch_layout);
        if (av_frame_get_buffer(frame.get(), 0) < 0 ||
            av_audio_fifo_read(fifo, reinterpret_cast<void**>(frame->data), frame->nb_samples) < frame->nb_samples)
            Fail(converter.path, "out of memory");
        frame->pts = converter.nextSample;
        converter.nextSample += frame->nb_samples;
        Encode(converter, frame.get(), deliver);
    }
}

// Returns what is wrong with the decoded samples, or an empty text.
std::string TakeDecoded(AudioConverter& converter, const std::function<void(AVPacket&)>& deliver)
{
    AVFrame& decoded = *converter.decoded;
    AVFrame& converted = *converter.converted;
    const AVCodecContext& encoder = *converter.encoder;
    if (decoded.ch_layout.nb_channels != encoder.ch_layout.nb_channels || decoded.sample_rate != encoder.sample_rate)
        return "the sound changes to " + std::to_string(decoded.ch_layout.nb_channels) + " channels at " +
               std::to_string(decoded.sample_rate) + " Hz; those samples are left out";
    if (converter.nextSample == AV_NOPTS_VALUE) {
        const int64_t pts = decoded.best_effort_timestamp;
        converter.nextSample = pts == AV_NOPTS_VALUE
                                   ? 0
                                   : av_rescale_q(pts, converter.decoder->pkt_timebase, encoder.time_base);
    }
    av_frame_unref(&converted);
    converted.format = encoder.sample_fmt;
    converted.sample_rate = encoder.sample_rate;
    av_channel_layout_copy(&converted.ch_layout, &encoder.ch_layout);
    // The decoder may name the layout only now; the samples are the same.
    av_channel_layout_uninit(&decoded.ch_layout);
    av_channel_layout_copy(&decoded.ch_layout, &encoder.ch_layout);
    const int done = swr_convert_frame(converter.resampler.get(), &converted, &decoded);
    if (done < 0)
        Fail(converter.path, "cannot convert its sound: " + AvErrorText(done));
    if (converter.fifo) {
        if (av_audio_fifo_write(converter.fifo.get(), reinterpret_cast<void**>(converted.data),
                                converted.nb_samples) < converted.nb_samples)
            Fail(converter.path, "out of memory");
        EncodeFifo(converter, false, deliver);
        return "";
    }
    converted.pts = converter.nextSample;
    converter.nextSample += converted.nb_samples;
    Encode(converter, &converted, deliver);
    return "";
}

}  // namespace

AVCodecID LosslessPcmCodec(AVSampleFormat format, int rawBits)
{
    switch (av_get_packed_sample_fmt(format)) {
    case AV_SAMPLE_FMT_U8:
        return AV_CODEC_ID_PCM_U8;
    case AV_SAMPLE_FMT_S16:
        return AV_CODEC_ID_PCM_S16LE;
    case AV_SAMPLE_FMT_S32:
        return rawBits > 16 && rawBits <= 24 ? AV_CODEC_ID_PCM_S24LE : AV_CODEC_ID_PCM_S32LE;
    case AV_SAMPLE_FMT_FLT:
        return AV_CODEC_ID_PCM_F32LE;
    case AV_SAMPLE_FMT_DBL:
        return AV_CODEC_ID_PCM_F64LE;
    default:
        return AV_CODEC_ID_NONE;
    }
}

void OpenAudioDecoder(AudioConverter& converter, const AVStream& stream)
{
    const AVCodec* codec = avcodec_find_decoder(stream.codecpar->codec_id);
    if (codec == nullptr)
        Fail(converter.path, std::string("no decoder for its ") + avcodec_get_name(stream.codecpar->codec_id) +
                                 " sound");
    converter.decoder.reset(avcodec_alloc_context3(codec));
    avcodec_parameters_to_context(converter.decoder.get(), stream.codecpar);
    converter.decoder->pkt_timebase = stream.time_base;
    const int opened = avcodec_open2(converter.decoder.get(), codec, nullptr);
    if (opened < 0)
        Fail(converter.path, std::string("cannot decode its ") + codec->name + " sound: " + AvErrorText(opened));
    if (converter.decoder->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&converter.decoder->ch_layout, converter.decoder->ch_layout.nb_channels);
    converter.decoded.reset(av_frame_alloc());
    converter.converted.reset(av_frame_alloc());
    converter.packet.reset(av_packet_alloc());
}

void OpenAudioEncoder(AudioConverter& converter, const AVCodec& encoder, bool globalHeader)
{
    const AVCodecContext& decoder = *converter.decoder;
    converter.encoder.reset(avcodec_alloc_context3(&encoder));
    AVCodecContext& context = *converter.encoder;
    context.sample_fmt = EncoderSampleFormat(encoder, decoder.sample_fmt);
    context.sample_rate = decoder.sample_rate;
    av_channel_layout_copy(&context.ch_layout, &decoder.ch_layout);
    context.time_base = {1, decoder.sample_rate};
    context.bits_per_raw_sample = decoder.bits_per_raw_sample;
    if (globalHeader)
        context.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    const int opened = avcodec_open2(&context, &encoder, nullptr);
    if (opened < 0)
        Fail(converter.path, std::string("cannot code its sound with ") + encoder.name + ": " + AvErrorText(opened));
    SwrContext* resampler = nullptr;
    if (swr_alloc_set_opts2(&resampler, &context.ch_layout, context.sample_fmt, context.sample_rate,
                            &context.ch_layout, decoder.sample_fmt, decoder.sample_rate, 0, nullptr) < 0 ||
        swr_init(resampler) < 0) {
        swr_free(&resampler);
        Fail(converter.path, "cannot convert its sound for " + std::string(encoder.name));
    }
    converter.resampler.reset(resampler);
    if (context.frame_size > 0 && !(encoder.capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE))
        converter.fifo.reset(
            av_audio_fifo_alloc(context.sample_fmt, context.ch_layout.nb_channels, context.frame_size));
}

std::string ConvertAudio(AudioConverter& converter, const AVPacket* packet,
                         const std::function<void(AVPacket& coded)>& deliver)
{
    std::string problem;
    const int sent = avcodec_send_packet(converter.decoder.get(), packet);
    if (sent < 0 && sent != AVERROR_EOF)
        problem = AvErrorText(sent);
    for (;;) {
        const int received = avcodec_receive_frame(converter.decoder.get(), converter.decoded.get());
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF)
            break;
        if (received < 0) {
            problem = AvErrorText(received);
            break;
        }
        const std::string wrong = TakeDecoded(converter, deliver);
        if (!wrong.empty())
            problem = wrong;
        av_frame_unref(converter.decoded.get());
    }
    if (packet == nullptr) {
        if (converter.fifo)
            EncodeFifo(converter, true, deliver);
        Encode(converter, nullptr, deliver);
    }
    return problem;
}
