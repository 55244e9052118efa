// SPDX-License-Identifier: BSD-2-Clause
// What a QF25 stream's pictures are besides their samples: the order of the
// two fields in time, and the colour description of the YCbCr the codec
// holds (always video range). Files and caps record both; the codec itself
// always stores the even lines as field 0.
#pragma once

#include <string>

extern "C" {
#include <libavutil/pixfmt.h>
}

enum class FieldOrder { TOP_FIRST, BOTTOM_FIRST, PROGRESSIVE };

// ITU-T H.273 code points, as FFmpeg's AVCOL_ values name them.
struct ColourFacts {
    AVColorPrimaries primaries = AVCOL_PRI_UNSPECIFIED;
    AVColorTransferCharacteristic transfer = AVCOL_TRC_UNSPECIFIED;
    AVColorSpace matrix = AVCOL_SPC_UNSPECIFIED;
};

bool operator==(const ColourFacts& a, const ColourFacts& b);

// "top field first", "bottom field first", "progressive"
const char* FieldOrderName(FieldOrder order);

// The matrix of the codec's own conversion between RGB and YCbCr (BT.601).
constexpr AVColorSpace CODEC_RGB_MATRIX = AVCOL_SPC_SMPTE170M;
// Whether RGB from the codec's own conversion has the true colours of YCbCr
// in this matrix.
bool IsCodecRgbMatrix(AVColorSpace matrix);

// What players assume for video that does not say: BT.709 from 1280 columns
// or more than 576 lines, BT.601 below.
AVColorSpace DefaultMatrix(int width, int height);
// The matrix pictures are converted with: the recorded one, or the default.
AVColorSpace EffectiveMatrix(const ColourFacts& colour, int width, int height);
// "bt709", or "bt709 (primaries bt709, transfer bt709)" when those are known.
std::string DescribeColour(const ColourFacts& colour);
