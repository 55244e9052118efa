// SPDX-License-Identifier: BSD-2-Clause
#include "Ssim.h"

#include "ToolError.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/imgutils.h>
}

#include <string>

namespace {

void FailFilter(const std::string& what, int error)
{
    Fail("ssim", what + " (" + AvErrorText(error) + ")");
}

AVFilterContext* AddFilter(SsimMeter& meter, const char* filter, const char* name, const std::string& args)
{
    AVFilterContext* context = nullptr;
    const int made = avfilter_graph_create_filter(&context, avfilter_get_by_name(filter), name,
                                                  args.empty() ? nullptr : args.c_str(), nullptr, meter.graph.get());
    if (made < 0)
        FailFilter(std::string("libavfilter has no usable ") + filter + " filter", made);
    return context;
}

void Send(SsimMeter& meter, AVFilterContext* source, const uint8_t* picture)
{
    FramePtr frame(av_frame_alloc());
    if (frame == nullptr)
        Fail("", "out of memory");
    frame->format = meter.format;
    frame->width = meter.width;
    frame->height = meter.height;
    frame->pts = meter.pictures;
    if (av_frame_get_buffer(frame.get(), 0) < 0)
        Fail("", "out of memory");
    uint8_t* planes[4];
    int strides[4];
    av_image_fill_arrays(planes, strides, picture, meter.format, meter.width, meter.height, 1);
    av_image_copy(frame->data, frame->linesize, const_cast<const uint8_t**>(planes), strides, meter.format,
                  meter.width, meter.height);
    const int sent = av_buffersrc_add_frame(source, frame.get());
    if (sent < 0)
        FailFilter("cannot take a picture", sent);
}

// Takes every picture the filter has finished with.
void Drain(SsimMeter& meter)
{
    FramePtr frame(av_frame_alloc());
    if (frame == nullptr)
        Fail("", "out of memory");
    for (;;) {
        const int got = av_buffersink_get_frame(meter.sink, frame.get());
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
            return;
        if (got < 0)
            FailFilter("cannot compare a picture", got);
        const AVDictionaryEntry* all = av_dict_get(frame->metadata, "lavfi.ssim.All", nullptr, 0);
        if (all == nullptr)
            Fail("ssim", "the filter gave a picture without its SSIM");
        meter.sum += std::stod(all->value);
        ++meter.measured;
        av_frame_unref(frame.get());
    }
}

}  // namespace

SsimMeter OpenSsimMeter(AVPixelFormat format, int width, int height)
{
    SsimMeter meter;
    meter.format = format;
    meter.width = width;
    meter.height = height;
    meter.graph.reset(avfilter_graph_alloc());
    if (meter.graph == nullptr)
        Fail("", "out of memory");
    meter.graph->nb_threads = 1;
    const std::string picture = "video_size=" + std::to_string(width) + "x" + std::to_string(height) +
                                ":pix_fmt=" + av_get_pix_fmt_name(format) + ":time_base=1/25";
    meter.decoded = AddFilter(meter, "buffer", "decoded", picture);
    meter.original = AddFilter(meter, "buffer", "original", picture);
    AVFilterContext* ssim = AddFilter(meter, "ssim", "ssim", "");
    meter.sink = AddFilter(meter, "buffersink", "sink", "");
    int linked = avfilter_link(meter.decoded, 0, ssim, 0);
    linked = linked < 0 ? linked : avfilter_link(meter.original, 0, ssim, 1);
    linked = linked < 0 ? linked : avfilter_link(ssim, 0, meter.sink, 0);
    if (linked < 0)
        FailFilter("cannot link its filters", linked);
    // Packed pictures reach the filter through a lossless repacking into planes.
    const int configured = avfilter_graph_config(meter.graph.get(), nullptr);
    if (configured < 0)
        FailFilter("cannot compare such pictures", configured);
    return meter;
}

void AddSsimPictures(SsimMeter& meter, const uint8_t* original, const uint8_t* decoded)
{
    Send(meter, meter.decoded, decoded);
    Send(meter, meter.original, original);
    ++meter.pictures;
    Drain(meter);
}

double MeanSsim(SsimMeter& meter)
{
    for (AVFilterContext* source : {meter.decoded, meter.original}) {
        const int ended = av_buffersrc_close(source, meter.pictures, 0);
        if (ended < 0)
            FailFilter("cannot finish", ended);
    }
    Drain(meter);
    if (meter.measured != meter.pictures)
        Fail("ssim", "compared " + std::to_string(meter.measured) + " of " + std::to_string(meter.pictures) +
                         " pictures");
    return meter.pictures > 0 ? meter.sum / double(meter.measured) : 0;
}
