// SPDX-License-Identifier: BSD-2-Clause
// Writes QF25 video, and PCM sound beside it, into an AVI file: the video's
// stream format is the compressor's bitmap header, every frame is a key
// frame, and the OpenDML extensions (AVIX segments, a super index per stream
// with one standard index per segment, the extended header with the total
// frame count) keep files beyond 1 GiB readable. The first segment also
// carries the classic idx1 index for older readers. Sound is interleaved with
// the pictures by time, in chunks of at most a frame's worth. The video
// properties record the field order (two fields in the order they are shown,
// or one progressive picture), and a chunk of our own the colour description
// (AviHeader.h reads both back).
#pragma once

#include "AviSound.h"
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
constexpr int AVI_MAX_SEGMENTS = 256;                        // slots reserved in each super index
constexpr int AVI_MAX_AUDIO_STREAMS = 98;                    // chunk ids count streams in two digits

struct AviStreamInfo {
    int width = 0;
    int height = 0;
    AVRational rate = {25, 1};
    AVRational sampleAspect = {1, 1};
    BitmapHeader format = {};
    FieldOrder fieldOrder = FieldOrder::TOP_FIRST;
    ColourFacts colour;  // written when anything of it is known
    std::string title;
};

// A text of the file's INFO list ("INAM" the title, "ICMT" a comment...), or
// "IDIT", the time of recording as "Mon Mar 10 15:04:43 2003".
struct AviTag {
    std::string id;
    std::string text;
};

struct AviChunkRef {
    uint64_t offset;  // of the chunk's data; relative to its segment's base
    uint32_t size;
};

struct AviSegmentRef {
    uint64_t indexOffset;  // of the segment's standard index chunk
    uint32_t indexBytes;
    uint32_t duration;  // frames, or sample blocks
};

// One stream of the file: track 0 is the video, track n + 1 sound stream n.
struct AviTrack {
    char chunkId[4] = {'0', '0', 'd', 'c'};
    AviAudioInfo audio;  // sound only
    std::vector<AviChunkRef> segmentChunks;
    std::vector<AviSegmentRef> segments;
    uint64_t units = 0;  // frames or sample blocks in the file
    uint32_t segmentUnits = 0;
    uint32_t largestChunk = 0;
    std::vector<uint8_t> pending;  // sound given but not yet due
};

struct AviLegacyRef {
    uint32_t track;
    uint64_t offset;  // of the chunk's data, from the first 'movi'
    uint32_t size;
};

struct AviWriter {
    std::string path;  // for messages
    FILE* file = nullptr;
    AviStreamInfo stream;
    std::vector<AviTrack> tracks;
    std::vector<AviTag> tags;  // set before OpenAvi
    uint64_t segmentLimit = AVI_SEGMENT_LIMIT;
    uint64_t position = 0;
    uint64_t segmentStart = 0;  // the segment's RIFF tag
    uint64_t moviStart = 0;     // its 'movi' list type, where idx1 offsets count from
    int segmentCount = 0;       // segments completed
    std::vector<AviLegacyRef> legacyIndex;  // the first segment's chunks, for idx1
    uint64_t firstRiffBytes = 0;
    uint64_t firstMoviBytes = 0;
    uint32_t firstSegmentFrames = 0;

    AviWriter() = default;
    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;
    ~AviWriter();
};

// Before OpenAvi: a sound stream of the file; returns its number, from 0.
int AddAviAudio(AviWriter& writer, const AviAudioInfo& audio);
// Writes to `writePath`; messages name `writer.path` when the caller has set
// it (to the name the user gave). `segmentLimit` is lowered only by tests,
// to exercise segments cheaply.
void OpenAvi(AviWriter& writer, const std::string& writePath, const AviStreamInfo& stream,
             uint64_t segmentLimit = AVI_SEGMENT_LIMIT);
// Also writes the sound due by the end of this frame.
void WriteAviFrame(AviWriter& writer, const uint8_t* data, uint32_t size);
// Whole sample blocks of sound stream `audio`, which follow what it was given
// before. They are held until the pictures reach their time, but never more
// than a second.
void WriteAviAudio(AviWriter& writer, int audio, const uint8_t* data, size_t bytes);
void WriteAviSilence(AviWriter& writer, int audio, uint64_t blocks);
// The sample blocks stream `audio` was given: where its next block plays.
uint64_t AviAudioBlocks(const AviWriter& writer, int audio);
// Sound that plays from block `at` of the file (block 0 with its first
// picture), for sources that time their samples: silence fills the time
// before its first block, and any gap of more than half a frame later, so
// that what follows stays in step with the pictures; blocks before the
// file's start are left out. Returns the blocks of silence added, or minus
// the blocks left out.
int64_t PlaceAviAudio(AviWriter& writer, int audio, int64_t at, const uint8_t* data, size_t bytes);
// Writes the sound still held, the indexes, completes the headers and closes
// the file; what was written so far becomes a complete file.
void CloseAvi(AviWriter& writer);
