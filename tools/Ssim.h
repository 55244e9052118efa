// SPDX-License-Identifier: BSD-2-Clause
// The structural similarity (SSIM) of decoded pictures to the ones coded,
// as libavfilter's ssim filter computes it: per plane on 8x8 windows, the
// planes weighted by their sizes, averaged over the pictures.
#pragma once

#include "Ffmpeg.h"

extern "C" {
#include <libavfilter/avfilter.h>
}

#include <cstdint>
#include <memory>

struct FilterGraphFree {
    void operator()(AVFilterGraph* graph) const { avfilter_graph_free(&graph); }
};
using FilterGraphPtr = std::unique_ptr<AVFilterGraph, FilterGraphFree>;

struct SsimMeter {
    FilterGraphPtr graph;
    AVFilterContext* decoded = nullptr;   // the filter's first input
    AVFilterContext* original = nullptr;  // its second
    AVFilterContext* sink = nullptr;
    AVPixelFormat format = AV_PIX_FMT_NONE;
    int width = 0;
    int height = 0;
    int64_t pictures = 0;  // given
    int64_t measured = 0;  // whose SSIM came back
    double sum = 0;
};

// Pictures of `format` (packed ones are unpacked into planes losslessly
// before the comparison; the fourth byte of BGR0 is not compared).
SsimMeter OpenSsimMeter(AVPixelFormat format, int width, int height);
// Both pictures tightly packed, as av_image_fill_arrays lays them out with
// an alignment of 1; copied, so the caller may reuse them at once.
void AddSsimPictures(SsimMeter& meter, const uint8_t* original, const uint8_t* decoded);
// The mean over every picture given.
double MeanSsim(SsimMeter& meter);
