// SPDX-License-Identifier: BSD-2-Clause
// The five commands, and the encode and decode runs that `demo` shares with
// `encode` and `decode`.
#pragma once

#include "CodedInput.h"
#include "Options.h"
#include "StreamCarrier.h"

#include <functional>
#include <string>
#include <vector>

int RunEncode(const Options& options);
int RunDecode(const Options& options);
int RunInfo(const Options& options);
int RunBench(const Options& options);
// bench --peers: QF25 beside other intra codecs on the same pictures.
int RunPeerBench(const Options& options);
int RunDemo(const Options& options);

// The width the codec gets: the input's, or cropped or padded to a multiple
// of 16 as the options ask; anything else is refused with a clear message.
int CodedWidth(const Options& options, const std::string& path, int width);

// Pictures to encode, already in the coded layout and geometry.
struct PictureSource {
    int width = 0;
    int height = 0;
    AVRational rate = {25, 1};
    AVRational sampleAspect = {0, 1};
    FieldOrder fieldOrder = FieldOrder::TOP_FIRST;
    ColourFacts colour;
    int64_t expectedFrames = 0;
    std::function<bool(uint8_t* picture)> read;  // false at the end
};

struct EncodeSettings {
    std::string out;
    std::string formatName;
    std::vector<std::string> inputs;  // never to be overwritten
    const PixelLayout* layout = nullptr;
    int quality = 0;
    int threads = 1;
    int64_t frameLimit = 0;
    bool quiet = false;
    StreamCarrier* carrier = nullptr;  // the input's other streams and tags
};

struct RunReport {
    int64_t frames = 0;  // frames written
    uint64_t bytes = 0;
    double seconds = 0;
    bool interrupted = false;
    std::vector<int64_t> damaged;
    bool cutShort = false;  // the input ended before the frames it announces
    bool streamsDamaged = false;  // other streams than the coded video
};

RunReport EncodeToFile(const PictureSource& source, const EncodeSettings& settings);

struct DecodeSettings {
    const PixelLayout* layout = nullptr;
    int threads = 1;
    int64_t frameLimit = 0;
    bool quiet = false;
    bool skipDamaged = false;
};

// Hands every picture, in order, to `sink` with its frame's number; damaged
// frames are reported and replaced by the last good picture (or left out).
RunReport DecodeStream(CodedInput& input, const DecodeSettings& settings,
                       const std::function<void(const uint8_t* picture, int64_t number)>& sink);
// What the command line asks of the streams besides the coded video.
CarryOptions CarryOptionsOf(const Options& options);
// "3, 17, 40" (the first twenty, then how many more)
std::string ListFrames(const std::vector<int64_t>& frames);
