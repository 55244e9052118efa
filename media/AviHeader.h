// SPDX-License-Identifier: BSD-2-Clause
// What an AVI file's header says about its first QF25 video stream, read
// from the file itself: FFmpeg's and GStreamer's AVI demuxers pass on neither
// the field order of the video properties nor our colour chunk, and
// GStreamer's not even the picture size of a FourCC it does not know.
#pragma once

#include "VideoFacts.h"

#include <string>

// The stream list's chunk with the colour description: primaries, transfer,
// matrix and range as 16-bit H.273 code points.
constexpr const char* AVI_COLOUR_CHUNK_ID = "colr";

struct AviHeader {
    int width = 0;
    int height = 0;   // as stored: negative for a top-down stream format
    int rateNum = 0;  // 0 when unknown
    int rateDen = 1;
    bool hasFieldOrder = false;  // the video properties say it
    FieldOrder fieldOrder = FieldOrder::TOP_FIRST;
    bool hasColour = false;
    ColourFacts colour;
};

// The first QF25 video stream's header; false when the file cannot be read
// or holds no such stream.
bool ReadAviHeader(const std::string& path, AviHeader& header);
