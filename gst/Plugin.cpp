// SPDX-License-Identifier: BSD-2-Clause
// The qf25 plugin. The decoder's primary rank lets playbin and decodebin
// pick it for QF25 streams by themselves.
#include "AviSink.h"
#include "Decoder.h"
#include "Encoder.h"

namespace {

gboolean PluginInit(GstPlugin* plugin)
{
    return gst_element_register(plugin, "qf25dec", GST_RANK_PRIMARY, qf25_dec_get_type()) &&
           gst_element_register(plugin, "qf25enc", GST_RANK_SECONDARY, qf25_enc_get_type()) &&
           gst_element_register(plugin, "qf25avisink", GST_RANK_NONE, qf25_avi_sink_get_type());
}

}  // namespace

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, qf25, "QF25 interlaced video: decoder, encoder, AVI writer",
                  PluginInit, QF25_GST_VERSION, "BSD", "qf25", "qf25")
