// SPDX-License-Identifier: BSD-2-Clause
#include "Encoder.h"

#include "Formats.h"
#include "ToolError.h"

#include <optional>

struct EncoderState {
    std::optional<CodecSession> session;  // for the negotiated format
    GstVideoInfo input;
    GstVideoCodecState* inputState = nullptr;  // until the output caps are set
    uint32_t capacity = 0;
};

G_DEFINE_TYPE(Qf25Enc, qf25_enc, GST_TYPE_VIDEO_ENCODER)

namespace {

enum { PROP_0, PROP_QUALITY };

GstStaticPadTemplate SINK_TEMPLATE = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("video/x-raw, format = (string) " QF25_RAW_FORMATS
                    ", width = (int) [ 16, 2147483632, 16 ], height = (int) [ 1, max ], "
                    "interlace-mode = (string) { progressive, interleaved, mixed }"));

GstStaticPadTemplate SRC_TEMPLATE = GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS,
                                                            GST_STATIC_CAPS(QF25_CODED_CAPS));

EncoderState& StateOf(GstVideoEncoder* encoder)
{
    return *reinterpret_cast<Qf25Enc*>(encoder)->state;
}

gboolean Start(GstVideoEncoder* encoder)
{
    reinterpret_cast<Qf25Enc*>(encoder)->state = new EncoderState;
    return TRUE;
}

void ForgetInputState(EncoderState& state)
{
    if (state.inputState != nullptr)
        gst_video_codec_state_unref(state.inputState);
    state.inputState = nullptr;
}

gboolean Stop(GstVideoEncoder* encoder)
{
    Qf25Enc* self = reinterpret_cast<Qf25Enc*>(encoder);
    ForgetInputState(*self->state);
    delete self->state;
    self->state = nullptr;
    return TRUE;
}

gboolean SetFormat(GstVideoEncoder* encoder, GstVideoCodecState* input)
{
    EncoderState& state = StateOf(encoder);
    const GstVideoInfo& info = input->info;
    const PixelLayout& layout = *LayoutOfVideoFormat(GST_VIDEO_INFO_FORMAT(&info));
    const int width = GST_VIDEO_INFO_WIDTH(&info);
    const int height = GST_VIDEO_INFO_HEIGHT(&info);
    if (height < 2) {
        GST_ELEMENT_ERROR(encoder, STREAM, FORMAT,
                          ("A picture of one line cannot be coded: the codec codes the lines of its two fields in "
                           "pairs."),
                          (nullptr));
        return FALSE;
    }
    if (height % 2 != 0)
        GST_ELEMENT_WARNING(encoder, STREAM, ENCODE,
                            ("The last line of an odd height is not kept (%d lines; the codec codes line pairs): "
                             "decoders repeat the line of its field above it.",
                             height),
                            (nullptr));
    if (GST_VIDEO_INFO_IS_YUV(&info) && GST_VIDEO_INFO_COLORIMETRY(&info).range == GST_VIDEO_COLOR_RANGE_0_255)
        GST_ELEMENT_WARNING(encoder, STREAM, ENCODE,
                            ("Full-range UYVY is coded as it is, and decoders will take it for video range; "
                             "videoconvert before qf25enc converts it."),
                            (nullptr));
    try {
        state.session.reset();
        state.session.emplace(OpenEncoder(layout, width, height, reinterpret_cast<Qf25Enc*>(encoder)->quality));
    } catch (const ToolError& error) {
        GST_ELEMENT_ERROR(encoder, STREAM, ENCODE, ("%s.", error.message.c_str()), (nullptr));
        return FALSE;
    }
    state.input = info;
    state.capacity = MaxCodedBytes(width, height);
    ForgetInputState(state);
    state.inputState = gst_video_codec_state_ref(input);
    return TRUE;
}

// The coded caps, once the first picture is here: interlaced caps that do
// not give the field order leave it to each buffer's flags.
gboolean SetOutputCaps(GstVideoEncoder* encoder, EncoderState& state, GstBuffer* first)
{
    const GstVideoInfo& info = state.input;
    FieldOrder order = FieldOrderOfInfo(info);
    if (order != FieldOrder::PROGRESSIVE && GST_VIDEO_INFO_FIELD_ORDER(&info) == GST_VIDEO_FIELD_ORDER_UNKNOWN &&
        GST_VIDEO_INFO_INTERLACE_MODE(&info) == GST_VIDEO_INTERLACE_MODE_INTERLEAVED)
        order = GST_BUFFER_FLAG_IS_SET(first, GST_VIDEO_BUFFER_FLAG_TFF) ? FieldOrder::TOP_FIRST
                                                                         : FieldOrder::BOTTOM_FIRST;
    // The codec turns RGB into YCbCr with BT.601 itself.
    const int width = GST_VIDEO_INFO_WIDTH(&info);
    const int height = GST_VIDEO_INFO_HEIGHT(&info);
    ColourFacts colour = ColourOfInfo(info);
    colour.matrix = GST_VIDEO_INFO_IS_RGB(&info) ? CODEC_RGB_MATRIX : EffectiveMatrix(colour, width, height);
    GstCaps* caps = gst_caps_new_simple("video/x-qf25", "width", G_TYPE_INT, width, "height", G_TYPE_INT, height,
                                        "bpp", G_TYPE_INT, state.session->layout->bitCount, nullptr);
    PutFactsInCodedCaps(caps, order, colour);
    GstVideoCodecState* output = gst_video_encoder_set_output_state(encoder, caps, state.inputState);
    gst_video_codec_state_unref(output);
    ForgetInputState(state);
    return gst_video_encoder_negotiate(encoder);
}

// Codes the picture in place, whatever its stride, into a buffer of the
// largest frame's size that is then cut to the frame.
uint32_t EncodeInto(EncoderState& state, GstBuffer* raw, GstBuffer* coded)
{
    GstVideoFrame picture;
    if (!gst_video_frame_map(&picture, &state.input, raw, GST_MAP_READ))
        return 0;
    GstMapInfo out;
    uint32_t size = 0;
    if (gst_buffer_map(coded, &out, GST_MAP_WRITE)) {
        size = EncodePicture(*state.session, static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&picture, 0)),
                             out.data, state.capacity, size_t(GST_VIDEO_FRAME_PLANE_STRIDE(&picture, 0)));
        gst_buffer_unmap(coded, &out);
    }
    gst_video_frame_unmap(&picture);
    return size;
}

GstFlowReturn HandleFrame(GstVideoEncoder* encoder, GstVideoCodecFrame* frame)
{
    EncoderState& state = StateOf(encoder);
    if (!state.session || (state.inputState != nullptr && !SetOutputCaps(encoder, state, frame->input_buffer))) {
        gst_video_encoder_finish_frame(encoder, frame);
        return GST_FLOW_NOT_NEGOTIATED;
    }
    GstBuffer* coded = gst_video_encoder_allocate_output_buffer(encoder, state.capacity);
    const uint32_t size = EncodeInto(state, frame->input_buffer, coded);
    if (size == 0) {
        gst_buffer_unref(coded);
        gst_video_encoder_finish_frame(encoder, frame);
        GST_ELEMENT_ERROR(encoder, STREAM, ENCODE, ("The codec could not code a picture."), (nullptr));
        return GST_FLOW_ERROR;
    }
    gst_buffer_set_size(coded, gssize(size));
    frame->output_buffer = coded;
    GST_VIDEO_CODEC_FRAME_SET_SYNC_POINT(frame);
    return gst_video_encoder_finish_frame(encoder, frame);
}

void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec)
{
    if (id == PROP_QUALITY)
        reinterpret_cast<Qf25Enc*>(object)->quality = g_value_get_int(value);
    else
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
}

void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec)
{
    if (id == PROP_QUALITY)
        g_value_set_int(value, reinterpret_cast<Qf25Enc*>(object)->quality);
    else
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
}

}  // namespace

static void qf25_enc_class_init(Qf25EncClass* klass)
{
    GObjectClass* object = G_OBJECT_CLASS(klass);
    object->set_property = SetProperty;
    object->get_property = GetProperty;
    g_object_class_install_property(
        object, PROP_QUALITY,
        g_param_spec_int("quality", "Quality", "Coding quality, taken when a stream starts", MIN_QUALITY,
                         MAX_QUALITY, DEFAULT_QUALITY,
                         GParamFlags(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_READY)));
    GstElementClass* element = GST_ELEMENT_CLASS(klass);
    gst_element_class_add_static_pad_template(element, &SINK_TEMPLATE);
    gst_element_class_add_static_pad_template(element, &SRC_TEMPLATE);
    gst_element_class_set_static_metadata(element, "QF25 video encoder", "Codec/Encoder/Video",
                                          "Codes UYVY, BGR or BGRx pictures as interlaced QF25 video",
                                          "The QF25 developers");
    GstVideoEncoderClass* encoder = GST_VIDEO_ENCODER_CLASS(klass);
    encoder->start = Start;
    encoder->stop = Stop;
    encoder->set_format = SetFormat;
    encoder->handle_frame = HandleFrame;
}

static void qf25_enc_init(Qf25Enc* self)
{
    self->quality = DEFAULT_QUALITY;
    GST_PAD_SET_ACCEPT_TEMPLATE(GST_VIDEO_ENCODER_SINK_PAD(GST_VIDEO_ENCODER(self)));
}
