// GStreamer's AVI demuxer describes a stream whose FourCC it does not know by
// the FourCC alone, without the picture size that QF25 frames do not carry.
// When the AVI comes from a local file, the size is read from the stream
// format in the file's own header.
#pragma once

#include <string>

struct AviGeometry {
    int width = 0;
    int height = 0;  // as stored: negative for a top-down stream format
};

// The first QF25 video stream's geometry; false when the file cannot be read
// or holds no such stream.
bool ReadAviGeometry(const std::string& path, AviGeometry& geometry);
