// SPDX-License-Identifier: BSD-2-Clause
#include "DemoClip.h"

#include "PictureInput.h"
#include "ToolError.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

extern const unsigned char DEMO_PICTURE_PNG[];
extern const size_t DEMO_PICTURE_PNG_SIZE;

namespace {

// The photograph is enlarged to this size; the 1920x1080 window pans over
// the difference, 480 columns and up to a fifth of 540 lines.
constexpr int PHOTO_WIDTH = 2400;
constexpr int PHOTO_HEIGHT = 1620;

FramePtr DecodeEmbeddedPhoto()
{
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_PNG);
    CodecContext decoder(codec == nullptr ? nullptr : avcodec_alloc_context3(codec));
    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    if (decoder == nullptr || avcodec_open2(decoder.get(), codec, nullptr) < 0 ||
        av_new_packet(packet.get(), int(DEMO_PICTURE_PNG_SIZE)) < 0)
        Fail("", "FFmpeg cannot decode the built-in PNG photograph");
    std::memcpy(packet->data, DEMO_PICTURE_PNG, DEMO_PICTURE_PNG_SIZE);
    if (avcodec_send_packet(decoder.get(), packet.get()) < 0 || avcodec_receive_frame(decoder.get(), frame.get()) < 0)
        Fail("", "the built-in photograph does not decode");
    return frame;
}

}  // namespace

DemoClip OpenDemoClip(int64_t frames)
{
    DemoClip clip;
    clip.frames = frames;
    clip.photoWidth = PHOTO_WIDTH;
    clip.photoHeight = PHOTO_HEIGHT;
    clip.photo.resize(size_t(PHOTO_WIDTH) * PHOTO_HEIGHT * 3);
    const FramePtr photo = DecodeEmbeddedPhoto();
    clip.sourceWidth = photo->width;
    clip.sourceHeight = photo->height;
    ScalerPtr enlarge(sws_getContext(photo->width, photo->height, AVPixelFormat(photo->format), PHOTO_WIDTH,
                                     PHOTO_HEIGHT, AV_PIX_FMT_BGR24, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr,
                                     nullptr));
    uint8_t* planes[4] = {clip.photo.data(), nullptr, nullptr, nullptr};
    const int strides[4] = {PHOTO_WIDTH * 3, 0, 0, 0};
    sws_scale(enlarge.get(), photo->data, photo->linesize, 0, photo->height, planes, strides);

    clip.woven.reset(av_frame_alloc());
    clip.woven->width = DEMO_WIDTH;
    clip.woven->height = DEMO_HEIGHT;
    clip.woven->format = AV_PIX_FMT_BGR24;
    if (av_frame_get_buffer(clip.woven.get(), 0) < 0)
        Fail("", "out of memory");
    return clip;
}

void RenderDemoFrame(DemoClip& clip, int64_t frame, const PixelLayout& layout, uint8_t* picture)
{
    const int panX = clip.photoWidth - DEMO_WIDTH;
    const int panY = clip.photoHeight - DEMO_HEIGHT;
    const double fieldsInClip = std::max<double>(2.0 * double(clip.frames) - 1.0, 1.0);
    AVFrame& woven = *clip.woven;
    for (int field = 0; field < 2; ++field) {
        // Left to right over the whole clip, dipping a little on the way so
        // that there is vertical motion too without losing the face.
        const double t = double(2 * frame + field) / fieldsInClip;
        const int x = int(std::lround(panX * t));
        const int y = int(std::lround(panY * 0.1 * (1.0 - std::cos(2.0 * std::numbers::pi * t))));
        for (int line = field; line < DEMO_HEIGHT; line += 2)
            std::memcpy(woven.data[0] + size_t(line) * size_t(woven.linesize[0]),
                        clip.photo.data() + (size_t(y + line) * size_t(clip.photoWidth) + size_t(x)) * 3,
                        size_t(DEMO_WIDTH) * 3);
    }
    ConvertPicture(clip.converter, woven, layout, DEMO_WIDTH, {DEMO_MATRIX, false, true}, picture);
}
