// SPDX-License-Identifier: BSD-2-Clause
// Pictures from anything FFmpeg reads (files, image sequences, raw video,
// standard input), decoded and converted into one of the codec's layouts,
// with what they mean: their field order, colour and timing.
#pragma once

#include "Codec.h"
#include "Ffmpeg.h"
#include "PictureConverter.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>

struct PictureInputSettings {
    std::string path;
    std::string formatName;  // empty: let FFmpeg guess
    std::string size;        // raw video: WxH
    std::string pixFmt;      // raw video: FFmpeg's pixel format name
    std::string rate;        // overrides the input's frame rate
    std::optional<FieldOrder> fieldOrder;  // overrides what the input says
};

struct PictureInput {
    std::string path;
    InputContext demuxer;
    CodecContext decoder;
    PictureConverter converter;
    FramePtr frame;     // the picture NextFrame decoded last
    FramePtr previous;  // the one before it
    std::deque<FramePtr> ahead;  // decoded early, to measure the frame rate
    PacketPtr packet;
    int streamIndex = -1;
    int width = 0;
    int height = 0;
    AVRational rate = {25, 1};
    bool rateGiven = false;  // --rate: frames are taken one for one
    bool rateMeasured = false;  // the input states none
    AVRational timeBase = {1, 25};
    AVRational sampleAspect = {0, 1};
    AVPixelFormat pixelFormat = AV_PIX_FMT_NONE;
    FieldOrder fieldOrder = FieldOrder::TOP_FIRST;
    bool fieldOrderStated = false;  // by the input or the command line
    ColourFacts colour;             // as the input says it
    bool fullRange = false;
    int64_t expectedFrames = 0;  // 0 when unknown
    int64_t framesRead = 0;
    int64_t lastPts = AV_NOPTS_VALUE;  // of the picture read last
    bool draining = false;
    std::function<void(AVPacket& packet)> otherPacket;  // every packet of the other streams
    bool measuring = false;       // reading ahead for the frame rate
    std::deque<PacketPtr> early;  // the other streams' packets read then
};

PictureInput OpenPictureInput(const PictureInputSettings& settings);

// Decodes the next picture into `input.frame`, keeping the one before in
// `input.previous`; false at the end.
bool NextFrame(PictureInput& input);
// The time of `input.frame` in seconds, or NaN when it has none.
double FrameSeconds(const PictureInput& input);

// The colour a stream coded from this input records: the input's primaries
// and transfer, and the matrix of the YCbCr the codec will hold: the input's
// (or the usual one for its size), or BT.601 when the codec converts RGB
// itself.
ColourFacts CodedColour(const PictureInput& input, const PixelLayout& layout, int codedWidth);

// Converts `frame` (the input's current or previous picture) into
// `picture`: `codedWidth` x height pixels of `layout`, top line first. A
// narrower coded width drops the right-hand columns; a wider one repeats the
// last column.
void ConvertFrame(PictureInput& input, const AVFrame& frame, const PixelLayout& layout, int codedWidth,
                  uint8_t* picture);
// NextFrame and ConvertFrame: false at the end.
bool ReadPicture(PictureInput& input, const PixelLayout& layout, int codedWidth, uint8_t* picture);

// How pictures from our own buffers (the built-in clip) are converted.
struct PictureMeaning {
    AVColorSpace matrix = AVCOL_SPC_UNSPECIFIED;  // of the YCbCr side
    bool fullRange = false;                        // of YCbCr input
    bool interlaced = true;
};
void ConvertPicture(PictureConverter& converter, const AVFrame& frame, const PixelLayout& layout, int codedWidth,
                    const PictureMeaning& meaning, uint8_t* picture);

// The frame rate pictures are timed at, from what FFmpeg knows of the
// stream: its guess, unless that is only the time base's tick rate (a
// variable-rate stream); then none (0/1).
AVRational StatedRate(AVRational guessed, AVRational timeBase);
// The average rate of frames at these times (seconds, in order), snapped to
// the nearest broadcast rate within 0.5%, or within as much as the times
// waver (up to 5%); 0/1 when they say nothing.
AVRational MeasuredRate(const std::vector<double>& seconds);
