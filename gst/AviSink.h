// SPDX-License-Identifier: BSD-2-Clause
// qf25avisink: writes QF25 frames into an AVI file with the qf25 command's
// own writer. The file is completed (indexes and final headers) at the end
// of the stream, or when the pipeline stops before it.
#pragma once

#include <gst/base/gstbasesink.h>

G_BEGIN_DECLS

struct AviWriter;

struct Qf25AviSink {
    GstBaseSink parent;
    gchar* location;
    AviWriter* writer;  // from the first caps to the end of the stream
};

struct Qf25AviSinkClass {
    GstBaseSinkClass parentClass;
};

GType qf25_avi_sink_get_type(void);

G_END_DECLS
