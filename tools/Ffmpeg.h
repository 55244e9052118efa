// SPDX-License-Identifier: BSD-2-Clause
// Ownership of FFmpeg's objects, and its error codes as text.
#pragma once

#include "VideoFacts.h"

#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

struct InputContextFree {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct OutputContextFree {
    void operator()(AVFormatContext* context) const;  // closes its file too
};
struct CodecContextFree {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ScalerFree {
    void operator()(SwsContext* scaler) const { sws_freeContext(scaler); }
};

using InputContext = std::unique_ptr<AVFormatContext, InputContextFree>;
using OutputContext = std::unique_ptr<AVFormatContext, OutputContextFree>;
using CodecContext = std::unique_ptr<AVCodecContext, CodecContextFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using ScalerPtr = std::unique_ptr<SwsContext, ScalerFree>;

std::string AvErrorText(int error);
// FFmpeg names "-" nothing; we mean the standard streams.
std::string FfmpegUrl(const std::string& path, bool output);
// Lets a blocking read or write give up when the user presses Ctrl-C.
AVIOInterruptCB InterruptCallback();
// Lets an FFmpeg decoder or encoder use every core, but with slice threads
// only: frame threads pass our buffers between threads through reference
// counts no race checker can follow, and the codec instances keep the cores
// busy anyway.
void UseSliceThreads(AVCodecContext& context);
// Writes the muxer's trailer and closes its file. A reader of standard
// output that went away, before or now, stops the command as an interrupt
// does; returns whether it did. Other failures are reported.
bool FinishOutput(AVFormatContext& muxer, const std::string& path, bool readerGone);
// Opens a demuxer: `formatName` and `options` may be empty.
InputContext OpenInputFile(const std::string& path, const std::string& formatName, AVDictionary** options);
// FFmpeg's field order for pictures shown in this order.
AVFieldOrder AvFieldOrder(FieldOrder order);
// The display order FFmpeg's value stands for; `fallback` when it says nothing.
FieldOrder FieldOrderOf(AVFieldOrder order, FieldOrder fallback);
