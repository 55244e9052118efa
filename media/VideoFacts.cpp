// SPDX-License-Identifier: BSD-2-Clause
#include "VideoFacts.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

bool operator==(const ColourFacts& a, const ColourFacts& b)
{
    return a.primaries == b.primaries && a.transfer == b.transfer && a.matrix == b.matrix;
}

const char* FieldOrderName(FieldOrder order)
{
    switch (order) {
    case FieldOrder::TOP_FIRST:
        return "top field first";
    case FieldOrder::BOTTOM_FIRST:
        return "bottom field first";
    case FieldOrder::PROGRESSIVE:
        break;
    }
    return "progressive";
}

bool IsCodecRgbMatrix(AVColorSpace matrix)
{
    return matrix == AVCOL_SPC_SMPTE170M || matrix == AVCOL_SPC_BT470BG;  // the same coefficients
}

AVColorSpace DefaultMatrix(int width, int height)
{
    return width >= 1280 || height > 576 ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
}

AVColorSpace EffectiveMatrix(const ColourFacts& colour, int width, int height)
{
    switch (colour.matrix) {
    case AVCOL_SPC_RGB:  // none of these is a YCbCr matrix
    case AVCOL_SPC_UNSPECIFIED:
    case AVCOL_SPC_RESERVED:
        return DefaultMatrix(width, height);
    default:
        return colour.matrix;
    }
}

std::string DescribeColour(const ColourFacts& colour)
{
    std::string text = av_color_space_name(colour.matrix);
    std::string extra;
    if (colour.primaries != AVCOL_PRI_UNSPECIFIED)
        extra += std::string("primaries ") + av_color_primaries_name(colour.primaries);
    if (colour.transfer != AVCOL_TRC_UNSPECIFIED)
        extra += std::string(extra.empty() ? "" : ", ") + "transfer " + av_color_transfer_name(colour.transfer);
    return extra.empty() ? text : text + " (" + extra + ")";
}
