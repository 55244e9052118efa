// SPDX-License-Identifier: BSD-2-Clause
#include "Ffmpeg.h"

#include "Interrupt.h"
#include "ToolError.h"

void OutputContextFree::operator()(AVFormatContext* context) const
{
    if (context->pb != nullptr && !(context->oformat->flags & AVFMT_NOFILE))
        avio_closep(&context->pb);
    avformat_free_context(context);
}

std::string AvErrorText(int error)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return text;
}

std::string FfmpegUrl(const std::string& path, bool output)
{
    if (path == "-")
        return output ? "pipe:1" : "pipe:0";
    // Keep names with a colon from being taken for a protocol.
    return path.find(':') == std::string::npos ? path : "file:" + path;
}

namespace {

int CheckInterrupt(void*)
{
    return Interrupted() ? 1 : 0;
}

}  // namespace

AVIOInterruptCB InterruptCallback()
{
    return {CheckInterrupt, nullptr};
}

void UseSliceThreads(AVCodecContext& context)
{
    context.thread_count = 0;
    context.thread_type = FF_THREAD_SLICE;
}

bool FinishOutput(AVFormatContext& muxer, const std::string& path, bool readerGone)
{
    const int finished = readerGone ? 0 : av_write_trailer(&muxer);
    const int closed = muxer.pb != nullptr && !(muxer.oformat->flags & AVFMT_NOFILE) ? avio_closep(&muxer.pb) : 0;
    const int failed = finished < 0 ? finished : closed;
    if (failed == AVERROR(EPIPE) || readerGone) {
        StopForClosedOutput();
        return true;
    }
    if (failed < 0)
        Fail(path, "cannot finish the file: " + AvErrorText(failed));
    return false;
}

InputContext OpenInputFile(const std::string& path, const std::string& formatName, AVDictionary** options)
{
    const AVInputFormat* format = nullptr;
    if (!formatName.empty()) {
        format = av_find_input_format(formatName.c_str());
        if (format == nullptr)
            FailUsage("unknown input format '" + formatName + "'");
    }
    AVFormatContext* raw = avformat_alloc_context();
    raw->interrupt_callback = InterruptCallback();
    const int opened = avformat_open_input(&raw, FfmpegUrl(path, false).c_str(), format, options);
    if (opened < 0)
        Fail(path, AvErrorText(opened));
    InputContext context(raw);
    const int found = avformat_find_stream_info(context.get(), nullptr);
    if (found < 0)
        Fail(path, AvErrorText(found));
    return context;
}

AVFieldOrder AvFieldOrder(FieldOrder order)
{
    switch (order) {
    case FieldOrder::TOP_FIRST:
        return AV_FIELD_TT;
    case FieldOrder::BOTTOM_FIRST:
        return AV_FIELD_BB;
    case FieldOrder::PROGRESSIVE:
        break;
    }
    return AV_FIELD_PROGRESSIVE;
}

FieldOrder FieldOrderOf(AVFieldOrder order, FieldOrder fallback)
{
    switch (order) {
    case AV_FIELD_TT:
    case AV_FIELD_BT:  // bottom coded first, top shown first
        return FieldOrder::TOP_FIRST;
    case AV_FIELD_BB:
    case AV_FIELD_TB:
        return FieldOrder::BOTTOM_FIRST;
    case AV_FIELD_PROGRESSIVE:
        return FieldOrder::PROGRESSIVE;
    default:
        return fallback;
    }
}
