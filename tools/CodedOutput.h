// SPDX-License-Identifier: BSD-2-Clause
// Where `encode` writes QF25 frames: our own AVI writer for AVI, FFmpeg's
// muxers for every other container that takes the stream (MKV, MOV, NUT).
#pragma once

#include "AviOutput.h"
#include "Ffmpeg.h"
#include "StreamCarrier.h"

#include <memory>
#include <string>

struct CodedStreamInfo {
    const PixelLayout* layout = nullptr;
    int width = 0;
    int height = 0;
    AVRational rate = {25, 1};
    AVRational sampleAspect = {0, 1};
    FieldOrder fieldOrder = FieldOrder::TOP_FIRST;
    ColourFacts colour;
};

struct CodedOutput {
    std::string path;  // for messages
    std::unique_ptr<AviWriter> avi;
    OutputContext muxer;
    AVRational rate = {25, 1};
    int64_t frames = 0;
    uint64_t bytes = 0;
    bool readerGone = false;  // standard output's reader closed the pipe
    bool interleaved = false;  // other streams go into the muxer too
};

// `path` names the container (by extension or `formatName`); the data goes
// to `writePath`. The carrier, when given, adds the input's other streams and tags.
CodedOutput OpenCodedOutput(const std::string& path, const std::string& writePath, const std::string& formatName,
                            const CodedStreamInfo& stream, StreamCarrier* carrier = nullptr);
void WriteCodedFrame(CodedOutput& output, const uint8_t* data, uint32_t size);
void CloseCodedOutput(CodedOutput& output);
// The FFmpeg output format for a file name or a format name, or a usage failure.
const AVOutputFormat* ChooseOutputFormat(const std::string& path, const std::string& formatName);
// The muxer that writes QF25 for that name, or nullptr for our own AVI writer.
const AVOutputFormat* CodedOutputFormat(const std::string& path, const std::string& formatName);
