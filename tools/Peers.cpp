// SPDX-License-Identifier: BSD-2-Clause
#include "Peers.h"

#include "ToolError.h"

#include <algorithm>
#include <cstring>

#include <turbojpeg.h>

extern "C" {
#include <libavutil/imgutils.h>
}

namespace {

constexpr int QUALITIES[] = {50, 75, 90, 95, 99};
constexpr int QSCALES[] = {10, 6, 4, 3, 2};
constexpr int SPEEDHQ_QSCALE[] = {2};

}  // namespace

const PeerCodec PEER_CODECS[PEER_CODEC_COUNT] = {
    {"qf25", "", PeerFamily::QF25, AV_CODEC_ID_NONE, AV_PIX_FMT_NONE, "", "quality", QUALITIES, 0, true},
    {"libjpeg-turbo", "4:2:2", PeerFamily::TURBOJPEG, AV_CODEC_ID_NONE, AV_PIX_FMT_NONE, "", "quality", QUALITIES, 90,
     true},
    {"mjpeg", "yuvj422p", PeerFamily::LIBAVCODEC, AV_CODEC_ID_MJPEG, AV_PIX_FMT_YUVJ422P, "", "-q:v", QSCALES, 2,
     true},
    {"dnxhd", "DNxHR HQ, yuv422p", PeerFamily::LIBAVCODEC, AV_CODEC_ID_DNXHD, AV_PIX_FMT_YUV422P,
     "profile=dnxhr_hq", nullptr, {}, 0, true},
    {"dnxhd-sq", "DNxHR SQ, yuv422p", PeerFamily::LIBAVCODEC, AV_CODEC_ID_DNXHD, AV_PIX_FMT_YUV422P,
     "profile=dnxhr_sq", nullptr, {}, 0, false},
    {"speedhq", "yuv422p", PeerFamily::LIBAVCODEC, AV_CODEC_ID_SPEEDHQ, AV_PIX_FMT_YUV422P, "", "-q:v",
     SPEEDHQ_QSCALE, 2, true, MKTAG('S', 'H', 'Q', '2')},
    {"prores-proxy", "proxy, yuv422p10", PeerFamily::LIBAVCODEC, AV_CODEC_ID_PRORES, AV_PIX_FMT_YUV422P10,
     "profile=proxy", nullptr, {}, 0, false, MKTAG('a', 'p', 'c', 'o'), "prores_ks"},
    {"prores-lt", "lt, yuv422p10", PeerFamily::LIBAVCODEC, AV_CODEC_ID_PRORES, AV_PIX_FMT_YUV422P10, "profile=lt",
     nullptr, {}, 0, false, MKTAG('a', 'p', 'c', 's'), "prores_ks"},
    {"prores", "standard, yuv422p10", PeerFamily::LIBAVCODEC, AV_CODEC_ID_PRORES, AV_PIX_FMT_YUV422P10,
     "profile=standard", nullptr, {}, 0, false, MKTAG('a', 'p', 'c', 'n'), "prores_ks"},
    {"prores-hq", "hq, yuv422p10", PeerFamily::LIBAVCODEC, AV_CODEC_ID_PRORES, AV_PIX_FMT_YUV422P10, "profile=hq",
     nullptr, {}, 0, true, MKTAG('a', 'p', 'c', 'h'), "prores_ks"},
    {"cfhd", "film3+, yuv422p10", PeerFamily::LIBAVCODEC, AV_CODEC_ID_CFHD, AV_PIX_FMT_YUV422P10, "quality=film3+",
     nullptr, {}, 0, true},
    {"cfhd-film1", "film1, yuv422p10", PeerFamily::LIBAVCODEC, AV_CODEC_ID_CFHD, AV_PIX_FMT_YUV422P10,
     "quality=film1", nullptr, {}, 0, false},
    {"cfhd-medium", "medium, yuv422p10", PeerFamily::LIBAVCODEC, AV_CODEC_ID_CFHD, AV_PIX_FMT_YUV422P10,
     "quality=medium", nullptr, {}, 0, false},
};

void TurboFree::operator()(void* handle) const
{
    tjDestroy(handle);
}

bool TakesPlanes(const PeerCodec& codec, const PixelLayout& layout)
{
    return codec.family != PeerFamily::QF25 && layout.bitCount == 16;
}

int SampleShift(const PeerCodec& codec)
{
    if (codec.family != PeerFamily::LIBAVCODEC)
        return 0;
    return av_pix_fmt_desc_get(codec.avFormat)->comp[0].depth - 8;
}

void WidenPlanes(const uint8_t* planes, size_t samples, int shift, uint8_t* wide)
{
    for (size_t i = 0; i < samples; ++i) {
        const uint16_t sample = uint16_t(planes[i] << shift);
        std::memcpy(wide + 2 * i, &sample, 2);
    }
}

void UyvyToPlanes(const uint8_t* uyvy, int width, int height, uint8_t* planes)
{
    const size_t pairs = size_t(width / 2) * size_t(height);
    uint8_t* y = planes;
    uint8_t* cb = planes + 2 * pairs;
    uint8_t* cr = cb + pairs;
    for (size_t i = 0; i < pairs; ++i, uyvy += 4) {
        cb[i] = uyvy[0];
        y[2 * i] = uyvy[1];
        cr[i] = uyvy[2];
        y[2 * i + 1] = uyvy[3];
    }
}

void PlanesToUyvy(const uint8_t* planes, int width, int height, uint8_t* uyvy)
{
    const size_t pairs = size_t(width / 2) * size_t(height);
    const uint8_t* y = planes;
    const uint8_t* cb = planes + 2 * pairs;
    const uint8_t* cr = cb + pairs;
    for (size_t i = 0; i < pairs; ++i, uyvy += 4) {
        uyvy[0] = cb[i];
        uyvy[1] = y[2 * i];
        uyvy[2] = cr[i];
        uyvy[3] = y[2 * i + 1];
    }
}

namespace {

// Our buffers lent to libavcodec by reference, so that it copies nothing:
// it lets go of them by the time its context is freed, and the clip's
// buffers outlive every session.
void KeepBuffer(void*, uint8_t*) {}

AVBufferRef* Borrow(const uint8_t* bytes, size_t size)
{
    AVBufferRef* buffer = av_buffer_create(const_cast<uint8_t*>(bytes), size, KeepBuffer, nullptr,
                                           AV_BUFFER_FLAG_READONLY);
    if (buffer == nullptr)
        Fail("", "out of memory");
    return buffer;
}

// Where the three planes of a picture in our form start, and their strides.
struct PlaneLayout {
    uint8_t* data[3];
    int strides[3];
};

PlaneLayout PlanesOf(uint8_t* planes, int width, int height, int sampleBytes = 1)
{
    const size_t luma = size_t(width) * size_t(height) * size_t(sampleBytes);
    const int stride = width * sampleBytes;
    return {{planes, planes + luma, planes + luma + luma / 2}, {stride, stride / 2, stride / 2}};
}

// 16-bit samples rounded to 8 bits after the shift left WidenPlanes made.
void NarrowPlane(const uint8_t* from, int fromStride, uint8_t* to, int width, int height, int shift)
{
    for (int y = 0; y < height; ++y, from += fromStride, to += width) {
        for (int x = 0; x < width; ++x) {
            uint16_t sample;
            std::memcpy(&sample, from + 2 * x, 2);
            to[x] = uint8_t(std::min((sample + (1 << (shift - 1))) >> shift, 255));
        }
    }
}

// libavcodec's 4:2:2 planes stay in its own frame; everything else is
// decoded into the session's picture.
bool KeepsPictureInFrame(const PeerSession& session)
{
    return session.codec->family == PeerFamily::LIBAVCODEC && TakesPlanes(*session.codec, *session.layout);
}

std::string SizeText(int width, int height)
{
    return std::to_string(width) + "x" + std::to_string(height);
}

void FailTurbo(const PeerSession& session, const std::string& what)
{
    Fail(session.codec->name, what + " (" + tjGetErrorStr2(session.turbo.get()) + ")");
}

// BGR32 goes through libswscale, as ffmpeg converts it, since libavcodec's
// 4:2:2 codecs take planes only.
void MakeScaler(PeerSession& session, AVPixelFormat from, AVPixelFormat to)
{
    session.scaler.reset(sws_getCachedContext(session.scaler.release(), session.width, session.height, from,
                                              session.width, session.height, to, SWS_BICUBIC, nullptr, nullptr,
                                              nullptr));
    if (session.scaler == nullptr)
        Fail(session.codec->name, "libswscale cannot convert its pictures");
}

void OpenAvEncoder(PeerSession& session)
{
    const PeerCodec& codec = *session.codec;
    const AVCodec* encoder =
        codec.avEncoder != nullptr ? avcodec_find_encoder_by_name(codec.avEncoder) : avcodec_find_encoder(codec.avCodec);
    session.context.reset(encoder == nullptr ? nullptr : avcodec_alloc_context3(encoder));
    if (session.context == nullptr)
        Fail(codec.name, "this FFmpeg has no such encoder");
    AVCodecContext& context = *session.context;
    context.width = session.width;
    context.height = session.height;
    context.pix_fmt = codec.avFormat;
    context.time_base = {1, 25};
    context.thread_count = 1;
    if (session.level != 0) {
        context.flags |= AV_CODEC_FLAG_QSCALE;
        context.global_quality = session.level * FF_QP2LAMBDA;
    }
    AVDictionary* options = nullptr;
    av_dict_parse_string(&options, codec.avOptions, "=", ":", 0);
    const int opened = avcodec_open2(&context, encoder, &options);
    av_dict_free(&options);
    if (opened < 0)
        Fail(codec.name, "cannot code " + SizeText(session.width, session.height) + " (" + AvErrorText(opened) + ")");
    session.frame.reset(av_frame_alloc());
    session.packet.reset(av_packet_alloc());
    if (session.frame == nullptr || session.packet == nullptr)
        Fail("", "out of memory");
    if (!TakesPlanes(codec, *session.layout)) {
        session.frame->format = codec.avFormat;
        session.frame->width = session.width;
        session.frame->height = session.height;
        if (av_frame_get_buffer(session.frame.get(), 0) < 0)
            Fail("", "out of memory");
        MakeScaler(session, session.layout->avFormat, codec.avFormat);
    }
}

void OpenAvDecoder(PeerSession& session)
{
    const AVCodec* decoder = avcodec_find_decoder(session.codec->avCodec);
    session.context.reset(decoder == nullptr ? nullptr : avcodec_alloc_context3(decoder));
    if (session.context == nullptr)
        Fail(session.codec->name, "this FFmpeg has no such decoder");
    session.context->thread_count = 1;
    // What a container tells the decoder; speedhq's frames carry neither.
    session.context->codec_tag = session.codec->codecTag;
    session.context->width = session.width;
    session.context->height = session.height;
    const int opened = avcodec_open2(session.context.get(), decoder, nullptr);
    if (opened < 0)
        Fail(session.codec->name, "the decoder does not open (" + AvErrorText(opened) + ")");
    session.frame.reset(av_frame_alloc());
    session.packet.reset(av_packet_alloc());
    if (session.frame == nullptr || session.packet == nullptr)
        Fail("", "out of memory");
}

std::span<const uint8_t> AvEncode(PeerSession& session, const uint8_t* picture)
{
    AVFrame& frame = *session.frame;
    const int width = session.width;
    const int height = session.height;
    if (TakesPlanes(*session.codec, *session.layout)) {
        const int sampleBytes = SampleShift(*session.codec) > 0 ? 2 : 1;
        const PlaneLayout planes = PlanesOf(const_cast<uint8_t*>(picture), width, height, sampleBytes);
        frame.buf[0] = Borrow(picture, PictureBytes(*session.layout, width, height) * sampleBytes + PEER_PADDING);
        for (int p = 0; p < 3; ++p) {
            frame.data[p] = planes.data[p];
            frame.linesize[p] = planes.strides[p];
        }
        frame.format = session.codec->avFormat;
        frame.width = width;
        frame.height = height;
    } else {
        if (av_frame_make_writable(&frame) < 0)
            Fail("", "out of memory");
        const int stride = int(LineBytes(*session.layout, width));
        sws_scale(session.scaler.get(), &picture, &stride, 0, height, frame.data, frame.linesize);
    }
    // ffmpeg's -q:v sets the quality of every frame as well as the context's.
    frame.quality = session.context->global_quality;
    const int sent = avcodec_send_frame(session.context.get(), &frame);
    if (TakesPlanes(*session.codec, *session.layout))
        av_frame_unref(&frame);
    const int received = sent < 0 ? sent : avcodec_receive_packet(session.context.get(), session.packet.get());
    if (received < 0)
        Fail(session.codec->name, "cannot code a frame (" + AvErrorText(received) + ")");
    return {session.packet->data, size_t(session.packet->size)};
}

void AvDecode(PeerSession& session, const uint8_t* coded, size_t size)
{
    AVPacket& packet = *session.packet;
    av_packet_unref(&packet);
    packet.buf = Borrow(coded, size + PEER_PADDING);
    packet.data = const_cast<uint8_t*>(coded);
    packet.size = int(size);
    const int sent = avcodec_send_packet(session.context.get(), &packet);
    const int received = sent < 0 ? sent : avcodec_receive_frame(session.context.get(), session.frame.get());
    if (received < 0)
        Fail(session.codec->name, "cannot decode its own frame (" + AvErrorText(received) + ")");
    const AVFrame& frame = *session.frame;
    if (KeepsPictureInFrame(session)) {
        // CopyDecoded reads the planes as the encoder took them.
        if (frame.format != session.codec->avFormat)
            Fail(session.codec->name, std::string("decodes to ") + av_get_pix_fmt_name(AVPixelFormat(frame.format)));
        return;
    }
    MakeScaler(session, AVPixelFormat(frame.format), session.layout->avFormat);
    uint8_t* target = session.picture.data();
    const int stride = int(LineBytes(*session.layout, session.width));
    sws_scale(session.scaler.get(), frame.data, frame.linesize, 0, session.height, &target, &stride);
}

std::span<const uint8_t> TurboEncode(PeerSession& session, const uint8_t* picture)
{
    unsigned char* buffer = session.coded.data();
    unsigned long size = session.coded.size();
    int result;
    if (TakesPlanes(*session.codec, *session.layout)) {
        const PlaneLayout planes = PlanesOf(const_cast<uint8_t*>(picture), session.width, session.height);
        const unsigned char* data[3] = {planes.data[0], planes.data[1], planes.data[2]};
        result = tjCompressFromYUVPlanes(session.turbo.get(), data, session.width, planes.strides, session.height,
                                         TJSAMP_422, &buffer, &size, session.level, TJFLAG_NOREALLOC);
    } else {
        result = tjCompress2(session.turbo.get(), picture, session.width, int(LineBytes(*session.layout, session.width)),
                             session.height, TJPF_BGRX, &buffer, &size, TJSAMP_422, session.level,
                             TJFLAG_NOREALLOC);
    }
    if (result != 0)
        FailTurbo(session, "cannot code a frame");
    return {buffer, size_t(size)};
}

void TurboDecode(PeerSession& session, const uint8_t* coded, size_t size)
{
    int result;
    if (TakesPlanes(*session.codec, *session.layout)) {
        PlaneLayout planes = PlanesOf(session.picture.data(), session.width, session.height);
        result = tjDecompressToYUVPlanes(session.turbo.get(), coded, size, planes.data, session.width, planes.strides,
                                         session.height, 0);
    } else {
        result = tjDecompress2(session.turbo.get(), coded, size, session.picture.data(), session.width,
                               int(LineBytes(*session.layout, session.width)), session.height, TJPF_BGRX, 0);
    }
    if (result != 0)
        FailTurbo(session, "cannot decode its own frame");
}

PeerSession StartSession(const PeerCodec& codec, const PixelLayout& layout, int width, int height, int level = 0)
{
    PeerSession session;
    session.codec = &codec;
    session.level = level != 0 ? level : codec.quickLevel;
    session.layout = &layout;
    session.width = width;
    session.height = height;
    return session;
}

}  // namespace

PeerSession OpenPeerEncoder(const PeerCodec& codec, const PixelLayout& layout, int width, int height, int level)
{
    PeerSession session = StartSession(codec, layout, width, height, level);
    switch (codec.family) {
    case PeerFamily::QF25:
        session.qf25.emplace(OpenEncoder(layout, width, height, session.level));
        session.coded.resize(MaxCodedBytes(width, height));
        break;
    case PeerFamily::TURBOJPEG:
        session.turbo.reset(tjInitCompress());
        if (session.turbo == nullptr)
            Fail(codec.name, "cannot make a compressor");
        session.coded.resize(tjBufSize(width, height, TJSAMP_422));
        break;
    case PeerFamily::LIBAVCODEC:
        OpenAvEncoder(session);
        break;
    }
    return session;
}

PeerSession OpenPeerDecoder(const PeerCodec& codec, const PixelLayout& layout, int width, int height,
                            SliceThreads slices)
{
    PeerSession session = StartSession(codec, layout, width, height);
    if (!KeepsPictureInFrame(session))
        session.picture.resize(PictureBytes(layout, width, height));
    switch (codec.family) {
    case PeerFamily::QF25:
        session.qf25.emplace(OpenDecoder(layout, width, height, slices));
        break;
    case PeerFamily::TURBOJPEG:
        session.turbo.reset(tjInitDecompress());
        if (session.turbo == nullptr)
            Fail(codec.name, "cannot make a decompressor");
        break;
    case PeerFamily::LIBAVCODEC:
        OpenAvDecoder(session);
        break;
    }
    return session;
}

std::span<const uint8_t> PeerEncode(PeerSession& session, const uint8_t* picture)
{
    if (session.codec->family == PeerFamily::TURBOJPEG)
        return TurboEncode(session, picture);
    if (session.codec->family == PeerFamily::LIBAVCODEC)
        return AvEncode(session, picture);
    const uint32_t size = EncodePicture(*session.qf25, picture, session.coded.data(), uint32_t(session.coded.size()));
    if (size == 0)
        Fail(session.codec->name, "a frame did not fit");
    return {session.coded.data(), size};
}

void PeerDecode(PeerSession& session, const uint8_t* coded, size_t size)
{
    switch (session.codec->family) {
    case PeerFamily::QF25:
        if (DecodePicture(*session.qf25, coded, uint32_t(size), session.picture.data()) != DecodeOutcome::GOOD)
            Fail(session.codec->name, "cannot decode its own frame");
        break;
    case PeerFamily::TURBOJPEG:
        TurboDecode(session, coded, size);
        break;
    case PeerFamily::LIBAVCODEC:
        AvDecode(session, coded, size);
        break;
    }
}

void CopyDecoded(const PeerSession& session, uint8_t* picture)
{
    if (!KeepsPictureInFrame(session)) {
        std::memcpy(picture, session.picture.data(), session.picture.size());
        return;
    }
    const AVFrame& frame = *session.frame;
    const PlaneLayout planes = PlanesOf(picture, session.width, session.height);
    const int shift = SampleShift(*session.codec);
    for (int p = 0; p < 3; ++p) {
        if (shift > 0) {
            NarrowPlane(frame.data[p], frame.linesize[p], planes.data[p], planes.strides[p], session.height, shift);
            continue;
        }
        av_image_copy_plane(planes.data[p], planes.strides[p], frame.data[p], frame.linesize[p], planes.strides[p],
                            session.height);
    }
}
