// SPDX-License-Identifier: BSD-2-Clause
#include "Formats.h"

const PixelLayout* LayoutOfVideoFormat(GstVideoFormat format)
{
    switch (format) {
    case GST_VIDEO_FORMAT_UYVY:
        return &PIXEL_LAYOUTS[0];
    case GST_VIDEO_FORMAT_BGR:
        return &PIXEL_LAYOUTS[1];
    case GST_VIDEO_FORMAT_BGRx:
        return &PIXEL_LAYOUTS[2];
    default:
        return nullptr;
    }
}

const PixelLayout& LayoutOfCodedCaps(const GstStructure* caps)
{
    int bitCount = 0;
    const PixelLayout* layout = nullptr;
    if (gst_structure_get_int(caps, "bpp", &bitCount))
        layout = PixelLayoutOfBitCount(bitCount);
    return layout != nullptr ? *layout : PIXEL_LAYOUTS[0];
}

int64_t FrameNumberAt(GstClockTime time, const GstVideoInfo& info)
{
    if (!GST_CLOCK_TIME_IS_VALID(time) || info.fps_n <= 0 || info.fps_d <= 0)
        return -1;
    return int64_t(gst_util_uint64_scale_round(time, uint64_t(info.fps_n), GST_SECOND * uint64_t(info.fps_d)));
}
