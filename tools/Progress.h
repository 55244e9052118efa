// SPDX-License-Identifier: BSD-2-Clause
// The progress line on standard error: frames done, frames per second and
// the time left. Shown only on a terminal and without --quiet, and redrawn at
// most five times a second so that it costs nothing measurable.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

struct Progress {
    bool enabled = false;
    int64_t expectedFrames = 0;  // 0 when the input does not say
    std::string label;
    bool countsFrames = true;  // false: counts steps of work, shown without a rate
    std::chrono::steady_clock::time_point started;
    std::chrono::steady_clock::time_point lastDrawn;
    bool drawn = false;
};

// The frames a run expects: what the input says, capped by --frames.
int64_t CappedFrameCount(int64_t known, int64_t limit);
Progress StartProgress(const std::string& label, int64_t expectedFrames, bool quiet);
void UpdateProgress(Progress& progress, int64_t framesDone);
// Clears the line so that the next message starts on a clean line.
void EndProgress(Progress& progress);
double SecondsSince(std::chrono::steady_clock::time_point start);
// "0:07", "1:02:03"
std::string FormatDuration(double seconds);
