// SPDX-License-Identifier: BSD-2-Clause
// Instance life: construction that fails anywhere, prompt teardown, the
// quality that decoding leaves behind, and instances on several threads.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "codec/ConstructionFailures.h"
#include "codec/FieldCoder.h"
#include "codec/SliceWorker.h"
#include "support/FrameCoding.h"
#include "transform/QuantTables.h"

namespace {

TEST(InstanceConstruction, FailureAtAnyStepReleasesEverything)
{
    // Each step (record, field job, worker records, tables) fails in turn; the
    // leak checker of the sanitizer build proves nothing is left behind.
    int failures = 0;
    for (int step = 1; step < 64; ++step) {
        FailConstructionStep(step);
        CodecInstance* instance = CreateCodecInstance();
        FailConstructionStep(0);
        if (instance) {
            DestroyCodecInstance(instance);
            break;
        }
        ++failures;
    }
    EXPECT_GE(failures, 1 + 2 + 8 + 4);
}

TEST(InstanceConstruction, NewInstanceIsReadyAtQuality95)
{
    InstancePtr instance(CreateCodecInstance());
    ASSERT_TRUE(instance);
    EXPECT_EQ(instance->quality, 95);
    EXPECT_FLOAT_EQ(instance->lumaReciprocals[0], 0.3125f);
    // The workers' threads wait for the first field decoded on them.
    for (int k = 0; k < SLICE_COUNT; ++k) {
        ASSERT_NE(instance->workers[k], nullptr);
        EXPECT_EQ(instance->workers[k]->thread, nullptr);
    }
}

TEST(InstanceWorkers, IdleInstanceIsDestroyedPromptly)
{
    CodecInstance* instance = CreateCodecInstance();
    ASSERT_NE(instance, nullptr);
    for (int k = 0; k < SLICE_COUNT; ++k)
        ASSERT_TRUE(StartWorker(instance->workers[k], instance, k));
    const auto start = std::chrono::steady_clock::now();
    DestroyCodecInstance(instance);
    // Far below the workers' one-second poll: the stop wakes them.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}

TEST(InstanceWorkers, UnsupportedPixelFormatLeavesThePictureAlone)
{
    const Picture source = ReadVectorPicture("chelsea-720x17.uyvy", PIXEL_FORMAT_UYVY, 720, 17, false);
    InstancePtr encoder = MakeInstance(source);
    const std::vector<uint8_t> frame = EncodeFrame(encoder.get(), source);
    Picture target{PIXEL_FORMAT_UNSUPPORTED, 720, 17, false, std::vector<uint8_t>(720 * 17 * 4, 0x3C)};
    InstancePtr decoder = MakeInstance(target);
    EXPECT_EQ(DecodeFrame(decoder.get(), frame, &target), FIELD_OK);
    EXPECT_TRUE(std::all_of(target.bytes.begin(), target.bytes.end(), [](uint8_t b) { return b == 0x3C; }));
}

TEST(InstanceQuality, DecodingLeavesTheFramesQualityForTheNextEncode)
{
    Picture picture = ReadVectorPicture("chelsea-720x17.uyvy", PIXEL_FORMAT_UYVY, 720, 17, false);
    InstancePtr encoder = MakeInstance(picture, 60);
    const std::vector<uint8_t> frame = EncodeFrame(encoder.get(), picture);
    ASSERT_EQ(frame[0], 60);
    InstancePtr instance = MakeInstance(picture, 95);
    const float scale95 = instance->lumaScales[0];
    DecodeFrame(instance.get(), frame, &picture);
    EXPECT_EQ(instance->quality, 60);
    EXPECT_NE(instance->lumaScales[0], scale95);
    EXPECT_EQ(EncodeFrame(instance.get(), picture)[0], 60);
}

TEST(InstanceThreads, InstancesOnSeveralThreadsCodeIndependently)
{
    const Picture picture = ReadVectorPicture("coffee-1008x21.uyvy", PIXEL_FORMAT_UYVY, 1008, 21, false);
    const std::vector<uint8_t> expected = ReadTestFile("vectors/coffee-1008x21.q95.qf25");
    const std::vector<uint8_t> expectedPicture = ReadTestFile("vectors/coffee-1008x21.q95.dec");
    bool ok[4] = {};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            InstancePtr instance = MakeInstance(picture);
            bool good = true;
            for (int i = 0; i < 5; ++i) {
                Picture decoded = picture;
                std::fill(decoded.bytes.begin(), decoded.bytes.end(), 0);
                good &= EncodeFrame(instance.get(), picture) == expected;
                good &= DecodeFrame(instance.get(), expected, &decoded) == FIELD_OK && decoded.bytes == expectedPicture;
            }
            ok[t] = good;
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (bool good : ok)
        EXPECT_TRUE(good);
}

}  // namespace
