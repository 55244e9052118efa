// SPDX-License-Identifier: BSD-2-Clause
// The built-in clip: the photograph that ships inside the binary, enlarged
// and panned across a 1920x1080 frame. Each field is taken at its own
// moment (the odd lines half a frame later), as an interlaced camera would,
// so moving edges comb between the fields the way real interlaced video does.
#pragma once

#include "Codec.h"
#include "Ffmpeg.h"
#include "PictureConverter.h"

#include <cstdint>
#include <vector>

constexpr int DEMO_WIDTH = 1920;
constexpr int DEMO_HEIGHT = 1080;
constexpr AVRational DEMO_RATE = {25, 1};
// The photograph's RGB becomes YCbCr as HD's usual matrix has it.
constexpr AVColorSpace DEMO_MATRIX = AVCOL_SPC_BT709;

struct DemoClip {
    int64_t frames = 0;
    int sourceWidth = 0;  // of the photograph as shipped
    int sourceHeight = 0;
    int photoWidth = 0;
    int photoHeight = 0;
    std::vector<uint8_t> photo;  // BGR24, enlarged
    FramePtr woven;              // BGR24, one interlaced frame
    PictureConverter converter;
};

DemoClip OpenDemoClip(int64_t frames);
// Always the same picture for the same frame number.
void RenderDemoFrame(DemoClip& clip, int64_t frame, const PixelLayout& layout, uint8_t* picture);
