// SPDX-License-Identifier: BSD-2-Clause
// qf25avisink: writes QF25 frames, and raw sound from request pads beside
// them, into an AVI file with the qf25 command's own writer. The streams are
// taken in the order of their times; the file is completed (sound still
// held, indexes and final headers) at the end of every stream, or when the
// pipeline stops before it.
#pragma once

#include <gst/base/gstcollectpads.h>

G_BEGIN_DECLS

struct AviWriter;

struct Qf25AviSink {
    GstElement parent;
    GstCollectPads* pads;
    gchar* location;
    AviWriter* writer;     // from the first buffer to the end of the streams
    GstClockTime origin;   // the running time of the first picture
    guint nextAudioPad;
};

struct Qf25AviSinkClass {
    GstElementClass parentClass;
};

GType qf25_avi_sink_get_type(void);

G_END_DECLS
