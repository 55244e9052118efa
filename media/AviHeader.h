// SPDX-License-Identifier: BSD-2-Clause
// GStreamer's AVI demuxer describes a stream whose FourCC it does not know by
// the FourCC alone, without the picture size that QF25 frames do not carry.
// When the AVI comes from a local file, the size is read from the stream
// format in the file's own header, and the frame rate from its stream header.
#pragma once

#include <string>

struct AviGeometry {
    int width = 0;
    int height = 0;  // as stored: negative for a top-down stream format
    int rateNum = 0;  // 0 when unknown
    int rateDen = 1;
};

// The first QF25 video stream's geometry and rate; false when the file cannot be read
// or holds no such stream.
bool ReadAviGeometry(const std::string& path, AviGeometry& geometry);
