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

namespace {

ColourFacts ColourOfColorimetry(const GstVideoColorimetry& colorimetry)
{
    ColourFacts colour;
    colour.primaries = AVColorPrimaries(gst_video_color_primaries_to_iso(colorimetry.primaries));
    colour.transfer = AVColorTransferCharacteristic(gst_video_transfer_function_to_iso(colorimetry.transfer));
    colour.matrix = AVColorSpace(gst_video_color_matrix_to_iso(colorimetry.matrix));
    return colour;
}

}  // namespace

StreamFacts FactsOfCodedCaps(const GstStructure* caps)
{
    StreamFacts facts;
    const char* mode = gst_structure_get_string(caps, "interlace-mode");
    if (mode != nullptr) {
        const char* order = gst_structure_get_string(caps, "field-order");
        facts.hasFieldOrder = true;
        facts.fieldOrder = g_strcmp0(mode, "progressive") == 0          ? FieldOrder::PROGRESSIVE
                           : g_strcmp0(order, "bottom-field-first") == 0 ? FieldOrder::BOTTOM_FIRST
                                                                         : FieldOrder::TOP_FIRST;
    }
    GstVideoColorimetry colorimetry;
    const char* text = gst_structure_get_string(caps, "colorimetry");
    if (text != nullptr && gst_video_colorimetry_from_string(&colorimetry, text)) {
        facts.hasColour = true;
        facts.colour = ColourOfColorimetry(colorimetry);
    }
    return facts;
}

void PutFactsInCodedCaps(GstCaps* caps, FieldOrder order, const ColourFacts& colour)
{
    const bool progressive = order == FieldOrder::PROGRESSIVE;
    gst_caps_set_simple(caps, "interlace-mode", G_TYPE_STRING, progressive ? "progressive" : "interleaved", nullptr);
    if (!progressive)
        gst_caps_set_simple(caps, "field-order", G_TYPE_STRING,
                            order == FieldOrder::TOP_FIRST ? "top-field-first" : "bottom-field-first", nullptr);
    const GstVideoColorimetry colorimetry = ColorimetryOf(colour);
    gchar* text = gst_video_colorimetry_to_string(&colorimetry);
    if (text != nullptr)
        gst_caps_set_simple(caps, "colorimetry", G_TYPE_STRING, text, nullptr);
    g_free(text);
}

FieldOrder FieldOrderOfInfo(const GstVideoInfo& info)
{
    if (GST_VIDEO_INFO_INTERLACE_MODE(&info) == GST_VIDEO_INTERLACE_MODE_PROGRESSIVE)
        return FieldOrder::PROGRESSIVE;
    return GST_VIDEO_INFO_FIELD_ORDER(&info) == GST_VIDEO_FIELD_ORDER_BOTTOM_FIELD_FIRST ? FieldOrder::BOTTOM_FIRST
                                                                                          : FieldOrder::TOP_FIRST;
}

ColourFacts ColourOfInfo(const GstVideoInfo& info)
{
    ColourFacts colour = ColourOfColorimetry(GST_VIDEO_INFO_COLORIMETRY(&info));
    if (GST_VIDEO_INFO_IS_RGB(&info))
        colour.matrix = AVCOL_SPC_UNSPECIFIED;
    return colour;
}

GstVideoColorimetry ColorimetryOf(const ColourFacts& colour)
{
    GstVideoColorimetry colorimetry = {};
    colorimetry.range = GST_VIDEO_COLOR_RANGE_16_235;
    colorimetry.matrix = gst_video_color_matrix_from_iso(guint(colour.matrix));
    colorimetry.transfer = gst_video_transfer_function_from_iso(guint(colour.transfer));
    colorimetry.primaries = gst_video_color_primaries_from_iso(guint(colour.primaries));
    return colorimetry;
}
