// SPDX-License-Identifier: BSD-2-Clause
// Sound that an output cannot take as it is: decoded, brought to a sample
// format the encoder takes, and coded again (PCM or FLAC, or what
// --audio-codec names). The samples are counted from the first one decoded,
// so the stream keeps its start and stays continuous.
#pragma once

#include "Ffmpeg.h"

#include <functional>
#include <memory>
#include <string>

extern "C" {
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
}

struct ResamplerFree {
    void operator()(SwrContext* context) const { swr_free(&context); }
};
struct AudioFifoFree {
    void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};

struct AudioConverter {
    std::string path;  // for messages
    CodecContext decoder;
    CodecContext encoder;
    std::unique_ptr<SwrContext, ResamplerFree> resampler;
    std::unique_ptr<AVAudioFifo, AudioFifoFree> fifo;  // for encoders that take frames of one size
    FramePtr decoded;
    FramePtr converted;
    PacketPtr packet;
    int64_t nextSample = AV_NOPTS_VALUE;  // the time of the next sample to code, in samples
};

// The PCM codec that keeps samples of `format` exactly (raw bits: how many of
// a 32-bit sample are used), or AV_CODEC_ID_NONE.
AVCodecID LosslessPcmCodec(AVSampleFormat format, int rawBits);

// The decoder first, so that the encoder can be chosen by what it gives.
void OpenAudioDecoder(AudioConverter& converter, const AVStream& stream);
// `globalHeader` when the container wants the codec's setup apart from the packets.
void OpenAudioEncoder(AudioConverter& converter, const AVCodec& encoder, bool globalHeader);
// Decodes `packet` (nullptr at the end, to drain everything) and hands each
// coded packet to `deliver`, timed in the encoder's time base. Returns what
// the decoder found wrong with the packet, or an empty text.
std::string ConvertAudio(AudioConverter& converter, const AVPacket* packet,
                         const std::function<void(AVPacket& coded)>& deliver);
