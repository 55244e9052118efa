// SPDX-License-Identifier: BSD-2-Clause
#include "Pipeline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace {

TEST(ToolPipeline, ConsumesEveryFrameInOrderWithBoundedJobs)
{
    constexpr int WORKERS = 4;
    constexpr int DEPTH = 6;
    constexpr int64_t FRAMES = 300;
    int64_t produced = 0;
    int64_t expected = 0;
    std::atomic<int> busiestWorker{0};
    std::atomic<int> badWorker{0};
    PipelineSteps steps;
    steps.produce = [&](FrameJob& job) {
        if (produced == FRAMES)
            return false;
        EXPECT_EQ(job.number, produced);
        EXPECT_LE(produced - expected, DEPTH) << "more jobs in flight than the pipeline holds";
        job.picture.assign(1, uint8_t(produced++));
        return true;
    };
    steps.work = [&](int worker, FrameJob& job) {
        if (worker < 0 || worker >= WORKERS)
            ++badWorker;
        busiestWorker = std::max(busiestWorker.load(), worker);
        // Uneven work, so that later frames often finish first.
        std::this_thread::sleep_for(std::chrono::microseconds((job.number * 7919) % 500));
        job.coded.assign(1, uint8_t(job.picture[0] + 1));
    };
    steps.consume = [&](FrameJob& job) {
        EXPECT_EQ(job.number, expected);
        EXPECT_EQ(job.coded[0], uint8_t(expected + 1));
        ++expected;
    };
    EXPECT_EQ(RunPipeline(WORKERS, DEPTH, steps), FRAMES);
    EXPECT_EQ(expected, FRAMES);
    EXPECT_EQ(badWorker, 0);
    EXPECT_GT(busiestWorker, 0) << "only one worker ever ran";
}

TEST(ToolPipeline, AFailingWriterStopsTheReading)
{
    int64_t produced = 0;
    int64_t consumed = 0;
    PipelineSteps steps;
    steps.produce = [&](FrameJob&) {
        ++produced;
        return true;  // an endless input
    };
    steps.work = [](int, FrameJob&) {};
    steps.consume = [&](FrameJob&) {
        if (++consumed == 10)
            throw std::runtime_error("disk full");
    };
    EXPECT_THROW(RunPipeline(2, 4, steps), std::runtime_error);
    EXPECT_EQ(consumed, 10);
    EXPECT_LE(produced, 10 + 4) << "reading ran ahead of the jobs in flight";
}

TEST(ToolPipeline, PassesFailuresToTheCaller)
{
    PipelineSteps steps;
    int64_t consumed = 0;
    steps.produce = [](FrameJob& job) { return job.number < 20; };
    steps.work = [](int, FrameJob& job) {
        if (job.number == 7)
            throw std::runtime_error("frame 7 failed");
    };
    steps.consume = [&](FrameJob&) { ++consumed; };
    EXPECT_THROW(
        {
            try {
                RunPipeline(3, 5, steps);
            } catch (const std::runtime_error& error) {
                EXPECT_STREQ(error.what(), "frame 7 failed");
                throw;
            }
        },
        std::runtime_error);
    EXPECT_EQ(consumed, 7) << "frames before the failing one are still delivered";

    steps.produce = [](FrameJob& job) {
        if (job.number == 3)
            throw std::logic_error("input broke");
        return true;
    };
    EXPECT_THROW(RunPipeline(2, 3, steps), std::logic_error);
}

}  // namespace
