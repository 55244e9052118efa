// SPDX-License-Identifier: BSD-2-Clause
// Pictures from anything FFmpeg reads (files, image sequences, raw video,
// standard input), decoded and converted into one of the codec's layouts.
#pragma once

#include "Codec.h"
#include "Ffmpeg.h"

#include <functional>
#include <string>

struct PictureInputSettings {
    std::string path;
    std::string formatName;  // empty: let FFmpeg guess
    std::string size;        // raw video: WxH
    std::string pixFmt;      // raw video: FFmpeg's pixel format name
    std::string rate;        // overrides the input's frame rate
};

struct PictureInput {
    std::string path;
    InputContext demuxer;
    CodecContext decoder;
    ScalerPtr scaler;
    FramePtr frame;
    PacketPtr packet;
    int streamIndex = -1;
    int width = 0;
    int height = 0;
    AVRational rate = {25, 1};
    AVRational sampleAspect = {0, 1};
    AVFieldOrder fieldOrder = AV_FIELD_UNKNOWN;
    int64_t expectedFrames = 0;  // 0 when unknown
    int64_t framesRead = 0;
    int64_t lastPts = AV_NOPTS_VALUE;  // of the picture read last
    bool draining = false;
    std::function<void(AVPacket& packet)> otherPacket;  // every packet of the other streams
};

PictureInput OpenPictureInput(const PictureInputSettings& settings);

// Converts the next frame into `picture`: `codedWidth` x height pixels of
// `layout`, top line first. A narrower coded width drops the right-hand
// columns; a wider one repeats the last column. False at the end.
bool ReadPicture(PictureInput& input, const PixelLayout& layout, int codedWidth, uint8_t* picture);

// Pictures from our own buffers (the built-in clip) go through the same
// conversion; used by `demo` and `bench`.
void ConvertPicture(ScalerPtr& scaler, const AVFrame& frame, const PixelLayout& layout, int codedWidth,
                    uint8_t* picture);
