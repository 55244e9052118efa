// SPDX-License-Identifier: BSD-2-Clause
// Constant-rate output from timed pictures, and the rate a stream is timed at.
#include "FrameTimer.h"
#include "PictureInput.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

struct Totals {
    int64_t frames = 0;
    int64_t previousCopies = 0;
};

Totals Place(FrameTimer& timer, const std::vector<double>& seconds)
{
    Totals totals;
    for (const double time : seconds) {
        const FramePlacement placement = PlaceFrame(timer, time);
        totals.frames += placement.previousCopies + placement.copies;
        totals.previousCopies += placement.previousCopies;
    }
    return totals;
}

// The figures ffmpeg's constant-rate output gives for the same times (the
// command's tests cover gaps of one frame).
TEST(ToolFrameTimer, DropsWhatComesTooEarlyAndFillsLongGaps)
{
    std::vector<double> doubled;  // 50 frames/s into 25
    for (int n = 0; n < 100; ++n)
        doubled.push_back(n / 50.0);
    FrameTimer halving;
    EXPECT_NEAR(double(Place(halving, doubled).frames), 50, 2);
    EXPECT_NEAR(double(halving.dropped), 50, 2);

    // A long gap is filled with the picture before it first.
    FrameTimer jump;
    const Totals jumped = Place(jump, {0.0, 0.04, 0.4});
    EXPECT_EQ(jumped.frames, 11);
    EXPECT_GT(jumped.previousCopies, 0);

    FrameTimer untimed;
    EXPECT_EQ(Place(untimed, {NAN, NAN, NAN}).frames, 3);
    EXPECT_EQ(untimed.repeated + untimed.dropped, 0);
}

TEST(ToolFrameTimer, ARateIsNeverATimeBase)
{
    EXPECT_EQ(av_cmp_q(StatedRate({1000, 1}, {1, 1000}), {0, 1}), 0);
    EXPECT_EQ(av_cmp_q(StatedRate({90000, 1}, {1, 90000}), {0, 1}), 0);
    EXPECT_EQ(av_cmp_q(StatedRate({25, 1}, {1, 25}), {25, 1}), 0);
    EXPECT_EQ(av_cmp_q(StatedRate({30000, 1001}, {1, 1000}), {30000, 1001}), 0);

    std::vector<double> milliseconds;  // 29.97 frames/s stamped to the millisecond
    for (int n = 0; n < 12; ++n)
        milliseconds.push_back(std::floor(n * 1001.0 / 30.0) / 1000);
    EXPECT_EQ(av_cmp_q(MeasuredRate(milliseconds), {30000, 1001}), 0);
    std::vector<double> exact30;
    std::vector<double> wavering25;  // each a frame late by up to 28 ms
    for (int n = 0; n < 12; ++n) {
        exact30.push_back(n / 30.0);
        wavering25.push_back(n * 0.04 + (n * n * 13 % 29) / 1000.0);
    }
    EXPECT_EQ(av_cmp_q(MeasuredRate(exact30), {30, 1}), 0) << "not 29.97, which lies within 0.5% too";
    EXPECT_EQ(av_cmp_q(MeasuredRate(wavering25), {25, 1}), 0);
    EXPECT_EQ(av_cmp_q(MeasuredRate({0.0, 0.05, 0.1}), {20, 1}), 0);
    EXPECT_EQ(MeasuredRate({1.0}).num, 0);
    EXPECT_EQ(MeasuredRate({NAN, 2.0}).num, 0);
}

}  // namespace
