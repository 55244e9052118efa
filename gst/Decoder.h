// SPDX-License-Identifier: BSD-2-Clause
// qf25dec: QF25 frames in, interlaced raw pictures (UYVY, BGR or BGRx,
// whichever downstream prefers) out. Damaged frames are replaced by the last
// good picture, with a warning on the bus.
#pragma once

#include <gst/video/gstvideodecoder.h>

G_BEGIN_DECLS

struct DecoderState;

struct Qf25Dec {
    GstVideoDecoder parent;
    DecoderState* state;  // between start and stop
};

struct Qf25DecClass {
    GstVideoDecoderClass parentClass;
};

GType qf25_dec_get_type(void);

G_END_DECLS
