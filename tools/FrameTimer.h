// SPDX-License-Identifier: BSD-2-Clause
// Constant-rate output from pictures with times of their own, as ffmpeg's
// constant-frame-rate mode does it: a picture later than its place fills the
// gap before it (with the picture before it when the gap is long), and one
// more than two frames early is dropped, so the clip keeps its length.
#pragma once

#include <cstdint>

extern "C" {
#include <libavutil/rational.h>
}

struct FrameTimer {
    AVRational rate = {25, 1};
    bool started = false;
    double origin = 0;    // the first picture's time, in frames
    int64_t placed = 0;   // frames written so far
    int64_t repeated = 0;
    int64_t dropped = 0;
};

struct FramePlacement {
    int64_t previousCopies = 0;  // of the picture before, first
    int64_t copies = 0;          // of this picture; 0 drops it
};

// Where the picture at `seconds` goes; a picture without a time (NaN)
// simply follows the one before.
FramePlacement PlaceFrame(FrameTimer& timer, double seconds);
