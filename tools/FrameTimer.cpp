// SPDX-License-Identifier: BSD-2-Clause
#include "FrameTimer.h"

#include <cmath>

FramePlacement PlaceFrame(FrameTimer& timer, double seconds)
{
    FramePlacement placement = {0, 1};
    if (std::isfinite(seconds)) {
        const double position = seconds * av_q2d(timer.rate);
        if (!timer.started)
            timer.origin = position;
        timer.started = true;
        // ffmpeg's thresholds, in frames: how far the picture lies after the
        // next free place (negative when before it), and where it ends.
        const double gap = position - timer.origin - double(timer.placed);
        const double end = gap + 1;
        if (end < -1.1) {
            placement.copies = 0;
        } else if (end > 1.1) {
            placement.copies = std::llrint(end);
            if (gap > 1.1 && timer.placed > 0)
                placement.previousCopies = std::llrint(gap - 0.6);
            placement.copies -= placement.previousCopies;
        }
    }
    timer.placed += placement.previousCopies + placement.copies;
    if (placement.copies == 0)
        ++timer.dropped;
    else
        timer.repeated += placement.previousCopies + placement.copies - 1;
    return placement;
}
