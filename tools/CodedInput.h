// SPDX-License-Identifier: BSD-2-Clause
// QF25 frames from any container FFmpeg demuxes (AVI, MKV, MOV, NUT...).
#pragma once

#include "Codec.h"
#include "Ffmpeg.h"

#include <functional>
#include <string>
#include <vector>

struct CodedInput {
    std::string path;
    InputContext demuxer;
    PacketPtr packet;
    int streamIndex = -1;
    int width = 0;
    int height = 0;                         // frame height, whatever the sign in the stream format
    const PixelLayout* codedFrom = nullptr; // the layout it was coded from, when the format says
    AVRational rate = {25, 1};
    AVRational sampleAspect = {0, 1};
    FieldOrder fieldOrder = FieldOrder::TOP_FIRST;
    bool fieldOrderRecorded = false;
    ColourFacts colour;
    bool colourRecorded = false;
    int64_t expectedFrames = 0;  // 0 when unknown
    int64_t framesRead = 0;
    int64_t firstPts = AV_NOPTS_VALUE;  // of the first frame
    std::function<void(AVPacket& packet)> otherPacket;  // every packet of the other streams
};

CodedInput OpenCodedInput(const std::string& path, const std::string& formatName);
// The next frame's bytes; false at the end of the stream.
bool ReadCodedFrame(CodedInput& input, std::vector<uint8_t>& coded, uint32_t& size);
// When the stream ended before the frames its header announces: what is
// missing, for a message; empty otherwise.
std::string MissingFrames(const CodedInput& input);
// The matrix of the decoded YCbCr: the recorded one, or the usual one for the size.
AVColorSpace DecodedMatrix(const CodedInput& input);
