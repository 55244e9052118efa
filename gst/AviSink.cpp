// SPDX-License-Identifier: BSD-2-Clause
#include "AviSink.h"

#include "AviOutput.h"
#include "AviSoundCaps.h"
#include "Formats.h"
#include "ToolError.h"

G_DEFINE_TYPE(Qf25AviSink, qf25_avi_sink, GST_TYPE_ELEMENT)

namespace {

enum { PROP_0, PROP_LOCATION };

GstStaticPadTemplate SINK_TEMPLATE =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS(QF25_CODED_CAPS));
GstStaticPadTemplate AUDIO_TEMPLATE =
    GST_STATIC_PAD_TEMPLATE("audio_%u", GST_PAD_SINK, GST_PAD_REQUEST, GST_STATIC_CAPS(QF25_AVI_SOUND_CAPS));

// What the sink knows of one of its pads.
struct PadState {
    bool video = false;
    bool hasCaps = false;
    AviStreamInfo stream;  // the pictures'
    AviAudioInfo audio;    // or the sound's
    int number = -1;       // the file's sound stream, once the file is open
};

struct PadData {
    GstCollectData collect;  // first, as GstCollectPads wants
    PadState* state;
};

Qf25AviSink* SelfOf(gpointer object)
{
    return reinterpret_cast<Qf25AviSink*>(object);
}

PadState& StateOf(GstCollectData* data)
{
    return *reinterpret_cast<PadData*>(data)->state;
}

void FreePadData(GstCollectData* data)
{
    delete reinterpret_cast<PadData*>(data)->state;
}

GstPad* AddPad(Qf25AviSink* self, GstPadTemplate* padTemplate, const gchar* name, bool video)
{
    GstPad* pad = gst_pad_new_from_template(padTemplate, name);
    auto* data = reinterpret_cast<PadData*>(
        gst_collect_pads_add_pad(self->pads, pad, sizeof(PadData), FreePadData, TRUE));
    data->state = new PadState;
    data->state->video = video;
    gst_element_add_pad(GST_ELEMENT(self), pad);
    return pad;
}

bool SameStream(const AviStreamInfo& a, const AviStreamInfo& b)
{
    return a.width == b.width && a.height == b.height && a.rate.num == b.rate.num && a.rate.den == b.rate.den &&
           a.format == b.format && a.fieldOrder == b.fieldOrder && a.colour == b.colour;
}

bool SameSound(const AviAudioInfo& a, const AviAudioInfo& b)
{
    return a.channels == b.channels && a.sampleRate == b.sampleRate && a.bitsPerSample == b.bitsPerSample &&
           a.isFloat == b.isFloat && a.channelMask == b.channelMask;
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

// Once the file is open its streams cannot change.
gboolean TakeCaps(Qf25AviSink* self, PadState& state, GstCaps* caps)
{
    if (state.video) {
        const AviStreamInfo stream = StreamOfCaps(caps);
        if (self->writer != nullptr && state.hasCaps && !SameStream(stream, state.stream)) {
            GST_ELEMENT_ERROR(self, STREAM, FORMAT,
                              ("An AVI file holds one picture size, frame rate, field order and colour."), (nullptr));
            return FALSE;
        }
        state.stream = stream;
    } else {
        AviAudioInfo audio;
        if (!AviAudioOfCaps(caps, audio) ||
            (self->writer != nullptr && state.hasCaps && !SameSound(audio, state.audio))) {
            GST_ELEMENT_ERROR(self, STREAM, FORMAT, ("An AVI sound stream holds one sample format throughout."),
                              (nullptr));
            return FALSE;
        }
        state.audio = audio;
    }
    state.hasCaps = true;
    return TRUE;
}

// The running time of the buffer a pad holds next; `taken` is the one just taken from `takenFrom`.
GstClockTime NextTime(GstCollectPads* pads, GstCollectData* data, GstCollectData* takenFrom, GstBuffer* taken)
{
    if (data == takenFrom)
        return GST_BUFFER_PTS(taken);
    GstBuffer* next = gst_collect_pads_peek(pads, data);
    if (next == nullptr)
        return GST_CLOCK_TIME_NONE;
    const GstClockTime time = GST_BUFFER_PTS(next);
    gst_buffer_unref(next);
    return time;
}

// At the first buffer every pad holds its first one, so that the file's
// streams are known: the pictures, and each sound pad that has caps.
void Open(Qf25AviSink* self, GstCollectPads* pads, GstCollectData* takenFrom, GstBuffer* taken)
{
    AviWriter* writer = new AviWriter;
    self->writer = writer;
    writer->path = self->location;
    const AviStreamInfo* video = nullptr;
    for (GSList* item = pads->data; item != nullptr; item = item->next) {
        GstCollectData* data = static_cast<GstCollectData*>(item->data);
        PadState& state = StateOf(data);
        if (!state.hasCaps)
            continue;
        if (!state.video) {
            state.number = AddAviAudio(*writer, state.audio);
            continue;
        }
        video = &state.stream;
        self->origin = NextTime(pads, data, takenFrom, taken);
    }
    if (video == nullptr || !GST_CLOCK_TIME_IS_VALID(self->origin))
        Fail(self->location, "the recording has no pictures");
    OpenAvi(*writer, self->location, *video);
}

void Write(Qf25AviSink* self, PadState& state, GstBuffer* buffer, const GstMapInfo& map)
{
    if (map.size > UINT32_MAX)
        Fail(self->location, "a buffer of " + std::to_string(map.size) + " bytes does not fit into AVI");
    if (state.video) {
        WriteAviFrame(*self->writer, map.data, uint32_t(map.size));
        return;
    }
    if (state.number < 0)
        return;
    const GstClockTime time = GST_BUFFER_PTS(buffer);
    if (!GST_CLOCK_TIME_IS_VALID(time)) {
        WriteAviAudio(*self->writer, state.number, map.data, map.size);
        return;
    }
    const int rate = state.audio.sampleRate;
    const bool early = time < self->origin;
    const int64_t at = (early ? -1 : 1) * int64_t(gst_util_uint64_scale_int_round(
                                               early ? self->origin - time : time - self->origin, rate, GST_SECOND));
    const uint64_t given = AviAudioBlocks(*self->writer, state.number);
    const int64_t change = PlaceAviAudio(*self->writer, state.number, at, map.data, map.size);
    if (change > 0 && given > 0)
        GST_ELEMENT_WARNING(self, STREAM, FAILED,
                            ("%.3f s of sound missing at %.3f s; filled with silence.", double(change) / rate,
                             double(given) / rate),
                            (nullptr));
    if (change < 0)
        GST_ELEMENT_WARNING(self, STREAM, FAILED,
                            ("%.3f s of sound before the first picture left out.", double(-change) / rate),
                            (nullptr));
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

// The oldest buffer of all pads, or none when every pad has ended. The file
// is complete before the end is announced, so that whoever waits for it can
// read it at once.
GstFlowReturn Collected(GstCollectPads* pads, GstCollectData* data, GstBuffer* buffer, gpointer user)
{
    Qf25AviSink* self = SelfOf(user);
    if (buffer == nullptr) {
        if (Finish(self))
            gst_element_post_message(GST_ELEMENT(self), gst_message_new_eos(GST_OBJECT(self)));
        return GST_FLOW_EOS;
    }
    GstFlowReturn result = GST_FLOW_OK;
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        gst_buffer_unref(buffer);
        return GST_FLOW_ERROR;
    }
    try {
        if (self->writer == nullptr)
            Open(self, pads, data, buffer);
        Write(self, StateOf(data), buffer, map);
    } catch (const ToolError& error) {
        GST_ELEMENT_ERROR(self, RESOURCE, WRITE, ("%s.", error.message.c_str()), (nullptr));
        result = GST_FLOW_ERROR;
    }
    gst_buffer_unmap(buffer, &map);
    gst_buffer_unref(buffer);
    return result;
}

gboolean PadEvent(GstCollectPads* pads, GstCollectData* data, GstEvent* event, gpointer user)
{
    if (GST_EVENT_TYPE(event) != GST_EVENT_CAPS)
        return gst_collect_pads_event_default(pads, data, event, TRUE);
    GstCaps* caps = nullptr;
    gst_event_parse_caps(event, &caps);
    const gboolean taken = TakeCaps(SelfOf(user), StateOf(data), caps);
    gst_event_unref(event);
    return taken;
}

GstPad* RequestNewPad(GstElement* element, GstPadTemplate* padTemplate, const gchar* name, const GstCaps*)
{
    Qf25AviSink* self = SelfOf(element);
    if (self->writer != nullptr) {
        GST_ELEMENT_WARNING(self, STREAM, FAILED, ("No sound stream can be added once the file is written."),
                            (nullptr));
        return nullptr;
    }
    if (GST_ELEMENT(self)->numsinkpads > AVI_MAX_AUDIO_STREAMS)
        return nullptr;
    gchar* padName = name != nullptr ? g_strdup(name) : g_strdup_printf("audio_%u", self->nextAudioPad++);
    GstPad* pad = AddPad(self, padTemplate, padName, false);
    g_free(padName);
    return pad;
}

void ReleasePad(GstElement* element, GstPad* pad)
{
    gst_collect_pads_remove_pad(SelfOf(element)->pads, pad);
    gst_element_remove_pad(element, pad);
}

GstStateChangeReturn ChangeState(GstElement* element, GstStateChange transition)
{
    Qf25AviSink* self = SelfOf(element);
    if (transition == GST_STATE_CHANGE_NULL_TO_READY && self->location == nullptr) {
        GST_ELEMENT_ERROR(self, RESOURCE, NOT_FOUND, ("No file name given (the location property)."), (nullptr));
        return GST_STATE_CHANGE_FAILURE;
    }
    if (transition == GST_STATE_CHANGE_READY_TO_PAUSED)
        gst_collect_pads_start(self->pads);
    // Stopping waits for the buffer being written, if any; none follows.
    if (transition == GST_STATE_CHANGE_PAUSED_TO_READY)
        gst_collect_pads_stop(self->pads);
    const GstStateChangeReturn result =
        GST_ELEMENT_CLASS(qf25_avi_sink_parent_class)->change_state(element, transition);
    if (transition == GST_STATE_CHANGE_PAUSED_TO_READY && !Finish(self))
        return GST_STATE_CHANGE_FAILURE;
    return result;
}

void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec)
{
    Qf25AviSink* self = SelfOf(object);
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
        g_value_set_string(value, SelfOf(object)->location);
    else
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
}

void Finalize(GObject* object)
{
    Qf25AviSink* self = SelfOf(object);
    g_free(self->location);
    gst_object_unref(self->pads);
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
    gst_element_class_add_static_pad_template(element, &AUDIO_TEMPLATE);
    gst_element_class_set_static_metadata(element, "QF25 AVI file sink", "Sink/File",
                                          "Writes QF25 video and raw sound into an AVI file (OpenDML past 1 GiB)",
                                          "The QF25 developers");
    element->request_new_pad = RequestNewPad;
    element->release_pad = ReleasePad;
    element->change_state = ChangeState;
}

static void qf25_avi_sink_init(Qf25AviSink* self)
{
    GST_OBJECT_FLAG_SET(self, GST_ELEMENT_FLAG_SINK);
    self->pads = gst_collect_pads_new();
    gst_collect_pads_set_buffer_function(self->pads, Collected, self);
    gst_collect_pads_set_event_function(self->pads, PadEvent, self);
    gst_collect_pads_set_clip_function(self->pads, gst_collect_pads_clip_running_time, self);
    AddPad(self, gst_element_class_get_pad_template(GST_ELEMENT_GET_CLASS(self), "sink"), "sink", true);
}
