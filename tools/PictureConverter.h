// SPDX-License-Identifier: BSD-2-Clause
// Pixel conversion with libswscale that keeps what pictures mean: the colour
// matrix and range of their YCbCr, and, for interlaced pictures whose chroma
// lines each serve several picture lines (4:2:0), the two fields apart, with
// the chroma siting of interlaced MPEG-2, as FFmpeg's scale filter does it
// with interl=1. Pictures keep their size.
#pragma once

#include "Ffmpeg.h"

struct PictureFormat {
    AVPixelFormat format = AV_PIX_FMT_NONE;
    int width = 0;
    int height = 0;
    AVColorSpace matrix = AVCOL_SPC_UNSPECIFIED;  // of YCbCr; unused for RGB
    bool fullRange = false;                        // of YCbCr; implied by yuvj formats
};

struct PictureConverter {
    PictureFormat from;
    PictureFormat to;
    bool interlaced = false;
    // Packed 4:2:2 goes to and from planar 4:2:2 first, line for line:
    // libswscale's direct ways between it and 4:2:0 repeat or drop chroma
    // lines instead of filtering them where they are sited.
    ScalerPtr packing;
    FramePtr planar;
    bool packedFrom = false;
    PictureFormat resampledFrom;  // the conversion that filters chroma
    PictureFormat resampledTo;
    bool byField = false;
    ScalerPtr scalers[2];  // the whole picture, or field 0 and field 1
    FramePtr paddedFrom;   // room for chroma lines a field needs past the picture
    FramePtr paddedTo;
};

bool operator==(const PictureFormat& a, const PictureFormat& b);

// Readies the converter for these formats; does nothing when they are the
// ones it has. `interlaced` pictures are two fields. Fails when libswscale
// has no conversion.
void PrepareConverter(PictureConverter& converter, const PictureFormat& from, const PictureFormat& to,
                      bool interlaced);
void RunConverter(PictureConverter& converter, const uint8_t* const from[4], const int fromStrides[4],
                  uint8_t* const to[4], const int toStrides[4]);
// Whether the format keeps fewer chroma lines than picture lines.
bool SharesChromaBetweenLines(AVPixelFormat format);
