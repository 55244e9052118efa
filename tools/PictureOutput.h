// SPDX-License-Identifier: BSD-2-Clause
// Decoded pictures to Y4M, raw video, numbered images or any FFmpeg encoder,
// tagged with their field order and colour. Without --codec the output stays
// lossless: the container's default encoder is kept only when it is
// lossless, otherwise FFV1 codes the pictures, or where the container takes
// no FFV1 (MOV) they are stored uncompressed.
#pragma once

#include "Codec.h"
#include "Ffmpeg.h"
#include "PictureConverter.h"
#include "StreamCarrier.h"

#include <string>

struct PictureOutputSettings {
    std::string path;       // names the container; "-" is Y4M on standard output
    std::string writePath;  // where the data goes
    std::string formatName;
    std::string codecName;
    std::string pixFmt;
    int width = 0;
    int height = 0;
    AVRational rate = {25, 1};
    AVRational sampleAspect = {0, 1};
    FieldOrder fieldOrder = FieldOrder::TOP_FIRST;
    ColourFacts colour;  // its matrix: that of the decoded YCbCr, never unspecified
    int64_t expectedFrames = 0;
    StreamCarrier* carrier = nullptr;  // adds the input's other streams and tags
};

struct PictureOutput {
    std::string path;
    OutputContext muxer;
    CodecContext encoder;
    PictureConverter converter;
    FramePtr frame;
    PacketPtr packet;
    const PixelLayout* layout = nullptr;
    int64_t frames = 0;
    bool readerGone = false;  // standard output's reader closed the pipe
};

// The muxer for a name ("-" is Y4M), or a usage failure.
const AVOutputFormat* PictureOutputFormat(const std::string& path, const std::string& formatName);
PictureOutput OpenPictureOutput(const PictureOutputSettings& settings, const PixelLayout& layout);
// `number` counts frames from the first picture: left-out frames leave a gap.
void WritePicture(PictureOutput& output, const uint8_t* picture, int64_t number);
void ClosePictureOutput(PictureOutput& output);
