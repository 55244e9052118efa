// SPDX-License-Identifier: BSD-2-Clause
// The codec's three uncompressed layouts as GStreamer names them, and the
// caps both sides of the plugin's elements use.
#pragma once

#include "Codec.h"
#include "VideoFacts.h"

#include <gst/video/video.h>

// Raw formats in the order the decoder offers them.
#define QF25_RAW_FORMATS "{ UYVY, BGR, BGRx }"
// Coded frames; `bpp` is the bit count of the layout they were coded from.
// qf25enc also says `interlace-mode` (with `field-order`) and `colorimetry`.
#define QF25_CODED_CAPS "video/x-qf25, width = (int) [ 1, max ], height = (int) [ 1, max ]"
// The AVI demuxer's name for a video stream of FourCC QF25.
#define QF25_AVI_CAPS "video/x-avi-unknown, fourcc = (int) 0x35324651"

const PixelLayout* LayoutOfVideoFormat(GstVideoFormat format);
// The bit count in coded caps, UYVY's when they do not say.
const PixelLayout& LayoutOfCodedCaps(const GstStructure* caps);
// A frame number for messages, from the frame's time and the stream's rate.
int64_t FrameNumberAt(GstClockTime time, const GstVideoInfo& info);

// What the pictures are, as coded caps or the AVI file say it.
struct StreamFacts {
    bool hasFieldOrder = false;
    FieldOrder fieldOrder = FieldOrder::TOP_FIRST;
    bool hasColour = false;
    ColourFacts colour;
};

StreamFacts FactsOfCodedCaps(const GstStructure* caps);
void PutFactsInCodedCaps(GstCaps* caps, FieldOrder order, const ColourFacts& colour);
// What raw caps say, in our terms; RGB has no matrix of its own.
FieldOrder FieldOrderOfInfo(const GstVideoInfo& info);
ColourFacts ColourOfInfo(const GstVideoInfo& info);
// Video-range YCbCr of this colour, for raw caps.
GstVideoColorimetry ColorimetryOf(const ColourFacts& colour);
