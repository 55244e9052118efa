// SPDX-License-Identifier: BSD-2-Clause
#include "Decoder.h"

#include "AviHeader.h"
#include "CheckedDecode.h"
#include "Formats.h"
#include "ToolError.h"

#include <climits>
#include <cstdlib>
#include <optional>

struct DecoderState {
    std::optional<CodecSession> session;  // for the negotiated format
    FieldOrder fieldOrder = FieldOrder::TOP_FIRST;
    GstVideoCodecState* output = nullptr;
    GstBuffer* lastGood = nullptr;  // the stand-in for damaged frames
    int64_t lastGoodNumber = -1;
};

G_DEFINE_TYPE(Qf25Dec, qf25_dec, GST_TYPE_VIDEO_DECODER)

namespace {

GstStaticPadTemplate SINK_TEMPLATE = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS(QF25_CODED_CAPS "; " QF25_AVI_CAPS));

GstStaticPadTemplate SRC_TEMPLATE = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("video/x-raw, format = (string) " QF25_RAW_FORMATS
                    ", width = (int) [ 1, max ], height = (int) [ 1, max ], framerate = (fraction) [ 0, max ], "
                    "interlace-mode = (string) { interleaved, progressive }"));

DecoderState& StateOf(GstVideoDecoder* decoder)
{
    return *reinterpret_cast<Qf25Dec*>(decoder)->state;
}

void ForgetLastGood(DecoderState& state)
{
    gst_buffer_replace(&state.lastGood, nullptr);
    state.lastGoodNumber = -1;
}

gboolean Start(GstVideoDecoder* decoder)
{
    reinterpret_cast<Qf25Dec*>(decoder)->state = new DecoderState;
    return TRUE;
}

gboolean Stop(GstVideoDecoder* decoder)
{
    Qf25Dec* self = reinterpret_cast<Qf25Dec*>(decoder);
    ForgetLastGood(*self->state);
    if (self->state->output != nullptr)
        gst_video_codec_state_unref(self->state->output);
    delete self->state;
    self->state = nullptr;
    return TRUE;
}

gboolean Flush(GstVideoDecoder* decoder)
{
    ForgetLastGood(StateOf(decoder));
    return TRUE;
}

// The first raw format downstream accepts, in downstream's order of
// preference; but UYVY when downstream takes it and the codec's BT.601 RGB
// would be the wrong colours: then whoever converts it knows the matrix.
GstVideoFormat PreferredFormat(GstVideoDecoder* decoder, AVColorSpace matrix)
{
    GstCaps* allowed = gst_pad_get_allowed_caps(GST_VIDEO_DECODER_SRC_PAD(decoder));
    GstVideoFormat format = GST_VIDEO_FORMAT_UYVY;
    if (allowed != nullptr && !gst_caps_is_empty(allowed)) {
        GstCaps* uyvy = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "UYVY", nullptr);
        if (IsCodecRgbMatrix(matrix) || !gst_caps_can_intersect(allowed, uyvy)) {
            allowed = gst_caps_fixate(allowed);
            const char* name = gst_structure_get_string(gst_caps_get_structure(allowed, 0), "format");
            if (name != nullptr && LayoutOfVideoFormat(gst_video_format_from_string(name)) != nullptr)
                format = gst_video_format_from_string(name);
        }
        gst_caps_unref(uyvy);
    }
    if (allowed != nullptr)
        gst_caps_unref(allowed);
    return format;
}

// The AVI file upstream reads, when it is a local file.
bool ReadUpstreamAvi(GstVideoDecoder* decoder, AviHeader& header)
{
    GstQuery* query = gst_query_new_uri();
    bool found = false;
    if (gst_pad_peer_query(GST_VIDEO_DECODER_SINK_PAD(decoder), query)) {
        gchar* uri = nullptr;
        gst_query_parse_uri(query, &uri);
        gchar* path = uri != nullptr ? g_filename_from_uri(uri, nullptr, nullptr) : nullptr;
        found = path != nullptr && ReadAviHeader(path, header);
        g_free(path);
        g_free(uri);
    }
    gst_query_unref(query);
    return found;
}

// The picture size, rate, field order and colour from the caps, or else
// from the AVI file upstream reads.
bool DescribeStream(GstVideoDecoder* decoder, const GstStructure* caps, AviHeader& stream)
{
    const bool sized = gst_structure_get_int(caps, "width", &stream.width) &&
                       gst_structure_get_int(caps, "height", &stream.height);
    const StreamFacts facts = FactsOfCodedCaps(caps);
    if (!sized || !facts.hasFieldOrder || !facts.hasColour) {
        AviHeader file;
        if (ReadUpstreamAvi(decoder, file)) {
            if (!sized)
                stream = file;
            stream.fieldOrder = file.fieldOrder;
            stream.colour = file.colour;
        } else if (!sized) {
            return false;
        }
    }
    if (facts.hasFieldOrder)
        stream.fieldOrder = facts.fieldOrder;
    if (facts.hasColour)
        stream.colour = facts.colour;
    return true;
}

gboolean SetFormat(GstVideoDecoder* decoder, GstVideoCodecState* input)
{
    DecoderState& state = StateOf(decoder);
    AviHeader stream;
    if (!DescribeStream(decoder, gst_caps_get_structure(input->caps, 0), stream)) {
        GST_ELEMENT_ERROR(decoder, STREAM, FORMAT,
                          ("The QF25 stream does not say its picture size, and it does not come from an AVI file "
                           "that does."),
                          (nullptr));
        return FALSE;
    }
    const int width = stream.width;
    const int height = stream.height == INT_MIN ? 0 : std::abs(stream.height);  // negative for a top-down bitmap
    if (!IsPlausiblePictureSize(width, height)) {
        GST_ELEMENT_ERROR(decoder, STREAM, FORMAT, ("The QF25 stream has the impossible picture size %dx%d.", width,
                                                    stream.height),
                          (nullptr));
        return FALSE;
    }
    if (height < 2) {
        GST_ELEMENT_ERROR(decoder, STREAM, FORMAT,
                          ("The QF25 stream's pictures are one line high, and the codec codes lines in pairs."),
                          (nullptr));
        return FALSE;
    }
    ColourFacts colour = stream.colour;
    colour.matrix = EffectiveMatrix(colour, width, height);
    const GstVideoFormat format = PreferredFormat(decoder, colour.matrix);
    try {
        state.session.reset();
        state.session.emplace(OpenDecoder(*LayoutOfVideoFormat(format), width, height, SliceThreads::WORKERS));
    } catch (const ToolError& error) {
        GST_ELEMENT_ERROR(decoder, STREAM, DECODE, ("%s.", error.message.c_str()), (nullptr));
        return FALSE;
    }
    ForgetLastGood(state);
    if (state.output != nullptr)
        gst_video_codec_state_unref(state.output);
    state.fieldOrder = stream.fieldOrder;
    const bool progressive = stream.fieldOrder == FieldOrder::PROGRESSIVE;
    state.output = gst_video_decoder_set_interlaced_output_state(
        decoder, format, progressive ? GST_VIDEO_INTERLACE_MODE_PROGRESSIVE : GST_VIDEO_INTERLACE_MODE_INTERLEAVED,
        guint(width), guint(height), input);
    GstVideoInfo& info = state.output->info;
    if (!progressive)
        GST_VIDEO_INFO_FIELD_ORDER(&info) = stream.fieldOrder == FieldOrder::TOP_FIRST
                                                ? GST_VIDEO_FIELD_ORDER_TOP_FIELD_FIRST
                                                : GST_VIDEO_FIELD_ORDER_BOTTOM_FIELD_FIRST;
    if (GST_VIDEO_INFO_IS_YUV(&info))
        GST_VIDEO_INFO_COLORIMETRY(&info) = ColorimetryOf(colour);
    if (GST_VIDEO_INFO_FPS_N(&info) == 0 && stream.rateNum > 0) {
        GST_VIDEO_INFO_FPS_N(&info) = stream.rateNum;
        GST_VIDEO_INFO_FPS_D(&info) = stream.rateDen;
    }
    return gst_video_decoder_negotiate(decoder);
}

// The last good picture stays referenced as the stand-in for damaged
// frames: a pool of limited size needs one buffer more than downstream
// counts on, or decoding would wait for a buffer that never comes back.
gboolean DecideAllocation(GstVideoDecoder* decoder, GstQuery* query)
{
    if (gst_query_get_n_allocation_pools(query) > 0) {
        GstBufferPool* pool = nullptr;
        guint size = 0;
        guint least = 0;
        guint most = 0;
        gst_query_parse_nth_allocation_pool(query, 0, &pool, &size, &least, &most);
        if (most != 0)
            gst_query_set_nth_allocation_pool(query, 0, pool, size, least + 1, most + 1);
        if (pool != nullptr)
            gst_object_unref(pool);
    }
    return GST_VIDEO_DECODER_CLASS(qf25_dec_parent_class)->decide_allocation(decoder, query);
}

// Fills the frame's output buffer with the last good picture, or with black
// before the first one.
GstFlowReturn Conceal(GstVideoDecoder* decoder, DecoderState& state, GstVideoCodecFrame* frame)
{
    if (state.lastGood != nullptr) {
        // A new buffer sharing the picture's memory: no copy, and its own timestamps.
        gst_buffer_replace(&frame->output_buffer, nullptr);
        frame->output_buffer = gst_buffer_copy(state.lastGood);
        return GST_FLOW_OK;
    }
    if (frame->output_buffer == nullptr) {
        const GstFlowReturn allocated = gst_video_decoder_allocate_output_frame(decoder, frame);
        if (allocated != GST_FLOW_OK)
            return allocated;
    }
    GstVideoFrame picture;
    if (!gst_video_frame_map(&picture, &state.output->info, frame->output_buffer, GST_MAP_WRITE))
        return GST_FLOW_ERROR;
    FillBlack(*state.session->layout, state.session->width, state.session->height,
              static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&picture, 0)),
              size_t(GST_VIDEO_FRAME_PLANE_STRIDE(&picture, 0)));
    gst_video_frame_unmap(&picture);
    return GST_FLOW_OK;
}

// Decodes straight into the output buffer, whatever its stride.
DecodeOutcome DecodeInto(DecoderState& state, GstBuffer* coded, GstBuffer* output, std::string& problem)
{
    GstMapInfo in;
    if (!gst_buffer_map(coded, &in, GST_MAP_READ)) {
        problem = "its bytes cannot be read";
        return DecodeOutcome::REFUSED;
    }
    GstVideoFrame picture;
    DecodeOutcome outcome = DecodeOutcome::REFUSED;
    problem = "its output buffer cannot be written";
    if (in.size > UINT32_MAX) {
        problem = "it is larger than any frame";
    } else if (gst_video_frame_map(&picture, &state.output->info, output, GST_MAP_WRITE)) {
        outcome = DecodeCheckedFrame(*state.session, in.data, uint32_t(in.size),
                                     static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&picture, 0)),
                                     size_t(GST_VIDEO_FRAME_PLANE_STRIDE(&picture, 0)), problem);
        gst_video_frame_unmap(&picture);
    }
    gst_buffer_unmap(coded, &in);
    return outcome;
}

std::string StandInName(const DecoderState& state)
{
    return state.lastGood == nullptr ? "black" : "frame " + std::to_string(state.lastGoodNumber);
}

GstFlowReturn HandleFrame(GstVideoDecoder* decoder, GstVideoCodecFrame* frame)
{
    DecoderState& state = StateOf(decoder);
    if (!state.session) {
        gst_video_decoder_release_frame(decoder, frame);
        return GST_FLOW_NOT_NEGOTIATED;
    }
    int64_t number = FrameNumberAt(frame->pts, state.output->info);
    if (number < 0)
        number = frame->system_frame_number;
    const std::string name = "frame " + std::to_string(number);
    // An empty frame repeats the previous one, as AVI intends it.
    if (gst_buffer_get_size(frame->input_buffer) == 0) {
        const GstFlowReturn concealed = Conceal(decoder, state, frame);
        if (concealed != GST_FLOW_OK) {
            gst_video_decoder_release_frame(decoder, frame);
            return concealed;
        }
        return gst_video_decoder_finish_frame(decoder, frame);
    }
    const GstFlowReturn allocated = gst_video_decoder_allocate_output_frame(decoder, frame);
    if (allocated != GST_FLOW_OK) {
        gst_video_decoder_release_frame(decoder, frame);
        return allocated;
    }
    std::string problem;
    switch (DecodeInto(state, frame->input_buffer, frame->output_buffer, problem)) {
    case DecodeOutcome::GOOD:
        gst_buffer_replace(&state.lastGood, frame->output_buffer);
        state.lastGoodNumber = number;
        break;
    case DecodeOutcome::DAMAGED: {
        GST_ELEMENT_WARNING(decoder, STREAM, DECODE,
                            ("%s is damaged (%s); replaced by %s.", name.c_str(), problem.c_str(),
                             StandInName(state).c_str()),
                            (nullptr));
        const GstFlowReturn concealed = Conceal(decoder, state, frame);
        if (concealed != GST_FLOW_OK) {
            gst_video_decoder_release_frame(decoder, frame);
            return concealed;
        }
        break;
    }
    case DecodeOutcome::REFUSED:
        GST_ELEMENT_WARNING(decoder, STREAM, DECODE, ("%s cannot be decoded (%s); left out.", name.c_str(),
                                                      problem.c_str()),
                            (nullptr));
        return gst_video_decoder_drop_frame(decoder, frame);
    }
    if (state.fieldOrder != FieldOrder::PROGRESSIVE)
        GST_BUFFER_FLAG_SET(frame->output_buffer, GST_VIDEO_BUFFER_FLAG_INTERLACED);
    if (state.fieldOrder == FieldOrder::TOP_FIRST)
        GST_BUFFER_FLAG_SET(frame->output_buffer, GST_VIDEO_BUFFER_FLAG_TFF);
    return gst_video_decoder_finish_frame(decoder, frame);
}

}  // namespace

static void qf25_dec_class_init(Qf25DecClass* klass)
{
    GstElementClass* element = GST_ELEMENT_CLASS(klass);
    gst_element_class_add_static_pad_template(element, &SINK_TEMPLATE);
    gst_element_class_add_static_pad_template(element, &SRC_TEMPLATE);
    gst_element_class_set_static_metadata(element, "QF25 video decoder", "Codec/Decoder/Video",
                                          "Decodes QF25 video to UYVY, BGR or BGRx",
                                          "The QF25 developers");
    GstVideoDecoderClass* decoder = GST_VIDEO_DECODER_CLASS(klass);
    decoder->start = Start;
    decoder->stop = Stop;
    decoder->flush = Flush;
    decoder->set_format = SetFormat;
    decoder->decide_allocation = DecideAllocation;
    decoder->handle_frame = HandleFrame;
}

static void qf25_dec_init(Qf25Dec* self)
{
    GstVideoDecoder* decoder = GST_VIDEO_DECODER(self);
    gst_video_decoder_set_packetized(decoder, TRUE);
    gst_video_decoder_set_needs_format(decoder, TRUE);
    GST_PAD_SET_ACCEPT_TEMPLATE(GST_VIDEO_DECODER_SINK_PAD(decoder));
}
