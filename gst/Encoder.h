// SPDX-License-Identifier: BSD-2-Clause
// qf25enc: raw UYVY, BGR or BGRx pictures in, QF25 frames out, every one a
// key frame. `quality` (50..99) is taken when a stream starts.
#pragma once

#include <gst/video/gstvideoencoder.h>

G_BEGIN_DECLS

struct EncoderState;

struct Qf25Enc {
    GstVideoEncoder parent;
    int quality;
    EncoderState* state;  // between start and stop
};

struct Qf25EncClass {
    GstVideoEncoderClass parentClass;
};

GType qf25_enc_get_type(void);

G_END_DECLS
