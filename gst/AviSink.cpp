// SPDX-License-Identifier: BSD-2-Clause
#include "AviSink.h"

#include "AviOutput.h"
#include "Formats.h"
#include "ToolError.h"

G_DEFINE_TYPE(Qf25AviSink, qf25_avi_sink, GST_TYPE_BASE_SINK)

namespace {

enum { PROP_0, PROP_LOCATION };

GstStaticPadTemplate SINK_TEMPLATE =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS(QF25_CODED_CAPS));

Qf25AviSink* SelfOf(GstBaseSink* sink)
{
    return reinterpret_cast<Qf25AviSink*>(sink);
}

bool SameStream(const AviStreamInfo& a, const AviStreamInfo& b)
{
    return a.width == b.width && a.height == b.height && a.rate.num == b.rate.num && a.rate.den == b.rate.den &&
           a.format == b.format && a.fieldOrder == b.fieldOrder && a.colour == b.colour;
}

AviStreamInfo StreamOfCaps(GstCaps* caps)
{
    const GstStructure* structure = gst_caps_get_structure(caps, 0);
    AviStreamInfo stream;
    gst_structure_get_int(structure, "width", &stream.width);
    gst_structure_get_int(structure, "height", &stream.height);
    int num = 0;
    int den = 0;
    if (gst_structure_get_fraction(structure, "framerate", &num, &den) && num > 0 && den > 0)
        stream.rate = {num, den};
    if (gst_structure_get_fraction(structure, "pixel-aspect-ratio", &num, &den) && num > 0 && den > 0)
        stream.sampleAspect = {num, den};
    stream.format = CompressedHeader(LayoutOfCodedCaps(structure), stream.width, stream.height);
    const StreamFacts facts = FactsOfCodedCaps(structure);
    stream.fieldOrder = facts.fieldOrder;
    stream.colour = facts.colour;
    return stream;
}

// Completes the file; false (with an error posted) when that fails.
bool Finish(Qf25AviSink* self)
{
    AviWriter* writer = self->writer;
    self->writer = nullptr;
    if (writer == nullptr)
        return true;
    bool finished = true;
    try {
        CloseAvi(*writer);
    } catch (const ToolError& error) {
        GST_ELEMENT_ERROR(self, RESOURCE, WRITE, ("%s.", error.message.c_str()), (nullptr));
        finished = false;
    }
    delete writer;
    return finished;
}

gboolean Start(GstBaseSink* sink)
{
    if (SelfOf(sink)->location == nullptr) {
        GST_ELEMENT_ERROR(sink, RESOURCE, NOT_FOUND, ("No file name given (the location property)."), (nullptr));
        return FALSE;
    }
    return TRUE;
}

gboolean Stop(GstBaseSink* sink)
{
    return Finish(SelfOf(sink));
}

gboolean SetCaps(GstBaseSink* sink, GstCaps* caps)
{
    Qf25AviSink* self = SelfOf(sink);
    const AviStreamInfo stream = StreamOfCaps(caps);
    if (self->writer != nullptr) {
        if (SameStream(stream, self->writer->stream))
            return TRUE;
        GST_ELEMENT_ERROR(sink, STREAM, FORMAT,
                          ("An AVI file holds one picture size, frame rate, field order and colour."), (nullptr));
        return FALSE;
    }
    self->writer = new AviWriter;
    try {
        OpenAvi(*self->writer, self->location, stream);
    } catch (const ToolError& error) {
        delete self->writer;
        self->writer = nullptr;
        GST_ELEMENT_ERROR(sink, RESOURCE, OPEN_WRITE, ("%s.", error.message.c_str()), (nullptr));
        return FALSE;
    }
    return TRUE;
}

GstFlowReturn Render(GstBaseSink* sink, GstBuffer* buffer)
{
    Qf25AviSink* self = SelfOf(sink);
    if (self->writer == nullptr)
        return GST_FLOW_NOT_NEGOTIATED;
    GstMapInfo frame;
    if (!gst_buffer_map(buffer, &frame, GST_MAP_READ))
        return GST_FLOW_ERROR;
    GstFlowReturn result = GST_FLOW_OK;
    try {
        if (frame.size > UINT32_MAX)
            Fail(self->location, "a frame of " + std::to_string(frame.size) + " bytes does not fit into AVI");
        WriteAviFrame(*self->writer, frame.data, uint32_t(frame.size));
    } catch (const ToolError& error) {
        GST_ELEMENT_ERROR(sink, RESOURCE, WRITE, ("%s.", error.message.c_str()), (nullptr));
        result = GST_FLOW_ERROR;
    }
    gst_buffer_unmap(buffer, &frame);
    return result;
}

// The file is complete before the end of the stream is announced, so that
// whoever waits for it can read the file at once.
gboolean Event(GstBaseSink* sink, GstEvent* event)
{
    if (GST_EVENT_TYPE(event) == GST_EVENT_EOS && !Finish(SelfOf(sink))) {
        gst_event_unref(event);
        return FALSE;
    }
    return GST_BASE_SINK_CLASS(qf25_avi_sink_parent_class)->event(sink, event);
}

void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec)
{
    Qf25AviSink* self = reinterpret_cast<Qf25AviSink*>(object);
    if (id == PROP_LOCATION) {
        g_free(self->location);
        self->location = g_value_dup_string(value);
    } else {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    }
}

void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec)
{
    if (id == PROP_LOCATION)
        g_value_set_string(value, reinterpret_cast<Qf25AviSink*>(object)->location);
    else
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
}

void Finalize(GObject* object)
{
    g_free(reinterpret_cast<Qf25AviSink*>(object)->location);
    G_OBJECT_CLASS(qf25_avi_sink_parent_class)->finalize(object);
}

}  // namespace

static void qf25_avi_sink_class_init(Qf25AviSinkClass* klass)
{
    GObjectClass* object = G_OBJECT_CLASS(klass);
    object->set_property = SetProperty;
    object->get_property = GetProperty;
    object->finalize = Finalize;
    g_object_class_install_property(
        object, PROP_LOCATION,
        g_param_spec_string("location", "File location", "The AVI file to write", nullptr,
                            GParamFlags(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_READY)));
    GstElementClass* element = GST_ELEMENT_CLASS(klass);
    gst_element_class_add_static_pad_template(element, &SINK_TEMPLATE);
    gst_element_class_set_static_metadata(element, "QF25 AVI file sink", "Sink/File",
                                          "Writes QF25 video into an AVI file (OpenDML past 1 GiB)",
                                          "The QF25 developers");
    GstBaseSinkClass* sink = GST_BASE_SINK_CLASS(klass);
    sink->start = Start;
    sink->stop = Stop;
    sink->set_caps = SetCaps;
    sink->render = Render;
    sink->event = Event;
}

static void qf25_avi_sink_init(Qf25AviSink* self)
{
    gst_base_sink_set_sync(GST_BASE_SINK(self), FALSE);
}
