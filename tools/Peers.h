// SPDX-License-Identifier: BSD-2-Clause
// The codecs `qf25 bench --peers` and the peers benchmark set beside QF25,
// all driven through the same few calls: QF25 through include/qf25.h,
// libjpeg-turbo through its TurboJPEG API, and FFmpeg's mjpeg, dnxhd (DNxHR
// HQ and SQ), speedhq, prores_ks (ProRes) and cfhd (CineForm) through
// libavcodec. A session codes one frame per
// call and keeps the result until the next one, so that a timed call does the
// codec's work and nothing else.
#pragma once

#include "Codec.h"
#include "Ffmpeg.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

enum class PeerFamily { QF25, TURBOJPEG, LIBAVCODEC };

struct PeerCodec {
    const char* name;
    const char* settings;    // as the table shows them, after the level if there is one
    PeerFamily family;
    AVCodecID avCodec;       // libavcodec's encoder and decoder
    AVPixelFormat avFormat;  // the 4:2:2 planes it codes
    const char* avOptions;   // the encoder's own options, "key=value:key=value"
    // The knob a full run turns: QF25's and libjpeg-turbo's quality, or a
    // libavcodec encoder's fixed quantiser scale (ffmpeg's -q:v), from the
    // smallest frames to the largest. Empty: avOptions say everything.
    const char* levelName;
    std::span<const int> levels;
    int quickLevel;          // the level --quick codes, and a session's when given 0
    bool quick;              // coded by `bench --peers --quick` too
    uint32_t codecTag = 0;   // the FourCC a container would give the decoder, or 0
    const char* avEncoder = nullptr;  // libavcodec's encoder by name; none: its default for avCodec
};

// QF25 first, then its peers.
constexpr int PEER_CODEC_COUNT = 13;
extern const PeerCodec PEER_CODECS[PEER_CODEC_COUNT];

// The peers code 4:2:2 from and to three planes, not packed UYVY: Y
// (width x height bytes), then Cb and Cr (width / 2 x height each). BGR32
// they take as it is (libjpeg-turbo as BGRX).
bool TakesPlanes(const PeerCodec& codec, const PixelLayout& layout);
// The bits a codec's samples have beyond 8. Such a codec takes our 8-bit
// planes widened to 16-bit samples shifted left by this, and gives its
// decoded planes back rounded to 8 bits.
int SampleShift(const PeerCodec& codec);
// `planes` in our form, into 16-bit samples (twice the bytes) shifted left.
void WidenPlanes(const uint8_t* planes, size_t samples, int shift, uint8_t* wide);
void UyvyToPlanes(const uint8_t* uyvy, int width, int height, uint8_t* planes);
void PlanesToUyvy(const uint8_t* planes, int width, int height, uint8_t* uyvy);

// Readable bytes after every picture and coded frame given to a session:
// libavcodec's decoders read ahead past the end of their data, and its
// encoders may read whole blocks.
constexpr size_t PEER_PADDING = AV_INPUT_BUFFER_PADDING_SIZE;

struct TurboFree {
    void operator()(void* handle) const;
};

// One encoder or decoder of one codec; used by one thread at a time.
struct PeerSession {
    const PeerCodec* codec = nullptr;
    const PixelLayout* layout = nullptr;
    int width = 0;
    int height = 0;
    int level = 0;
    std::optional<CodecSession> qf25;
    std::unique_ptr<void, TurboFree> turbo;
    CodecContext context;
    FramePtr frame;   // libavcodec: the encoder's input, or the decoder's output
    PacketPtr packet;
    ScalerPtr scaler;  // libavcodec: BGR32 to or from the codec's planes
    std::vector<uint8_t> coded;    // QF25 and libjpeg-turbo: the last frame coded
    std::vector<uint8_t> picture;  // the last picture decoded, unless it stays in `frame`
};

// Fail with the codec's name when it cannot code this size. `level` is one
// of the codec's levels; 0: its quickLevel, or QF25's default quality.
PeerSession OpenPeerEncoder(const PeerCodec& codec, const PixelLayout& layout, int width, int height,
                            int level);
// `slices` says where a QF25 decoder runs its slices; the peers decode on
// the calling thread.
PeerSession OpenPeerDecoder(const PeerCodec& codec, const PixelLayout& layout, int width, int height,
                            SliceThreads slices);

// `picture` is in the form TakesPlanes and SampleShift say. The frame stays valid until the
// session's next call.
std::span<const uint8_t> PeerEncode(PeerSession& session, const uint8_t* picture);
void PeerDecode(PeerSession& session, const uint8_t* coded, size_t size);
// The picture the last PeerDecode gave, in the form TakesPlanes says, with
// 8-bit samples.
void CopyDecoded(const PeerSession& session, uint8_t* picture);
