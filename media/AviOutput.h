// SPDX-License-Identifier: BSD-2-Clause
// Writes QF25 video into an AVI file: the stream format is the compressor's
// bitmap header, every frame is a key frame, and the OpenDML extensions
// (AVIX segments, a super index with one standard index per segment, the
// extended header with the total frame count) keep files beyond 1 GiB
// readable. The first segment also carries the classic idx1 index for older
// readers. The video properties record the field order (two fields in the
// order they are shown, or one progressive picture), and a chunk of our own
// the colour description (AviHeader.h reads both back).
#pragma once

#include "Codec.h"
#include "VideoFacts.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/rational.h>
}

constexpr uint64_t AVI_SEGMENT_LIMIT = uint64_t(1) << 30;  // what readers without OpenDML accept
constexpr int AVI_MAX_SEGMENTS = 256;                        // slots reserved in the super index

struct AviStreamInfo {
    int width = 0;
    int height = 0;
    AVRational rate = {25, 1};
    AVRational sampleAspect = {1, 1};
    BitmapHeader format = {};
    FieldOrder fieldOrder = FieldOrder::TOP_FIRST;
    ColourFacts colour;  // written when anything of it is known
};

struct AviChunkRef {
    uint64_t offset;  // of the chunk's data; relative to its segment's base
    uint32_t size;
};

struct AviSegmentRef {
    uint64_t indexOffset;  // of the segment's standard index chunk
    uint32_t indexBytes;
    uint32_t frames;
};

struct AviWriter {
    std::string path;  // for messages
    FILE* file = nullptr;
    AviStreamInfo stream;
    uint64_t segmentLimit = AVI_SEGMENT_LIMIT;
    uint64_t position = 0;
    uint64_t segmentStart = 0;  // the segment's RIFF tag
    uint64_t moviStart = 0;     // its 'movi' list type, where idx1 offsets count from
    std::vector<AviChunkRef> segmentChunks;
    std::vector<AviSegmentRef> segments;
    uint64_t firstRiffBytes = 0;
    uint64_t firstMoviBytes = 0;
    uint32_t firstSegmentFrames = 0;
    uint32_t totalFrames = 0;
    uint32_t largestFrame = 0;

    AviWriter() = default;
    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;
    ~AviWriter();
};

// Writes to `writePath`; messages name `writer.path` when the caller has set
// it (to the name the user gave). `segmentLimit` is lowered only by tests,
// to exercise segments cheaply.
void OpenAvi(AviWriter& writer, const std::string& writePath, const AviStreamInfo& stream,
             uint64_t segmentLimit = AVI_SEGMENT_LIMIT);
void WriteAviFrame(AviWriter& writer, const uint8_t* data, uint32_t size);
// Writes the indexes, completes the headers and closes the file; what was
// written so far becomes a complete file.
void CloseAvi(AviWriter& writer);
