// SPDX-License-Identifier: BSD-2-Clause
// QFC_SetSliceThreads: a handle that decodes its slices on the calling
// thread gives the pictures, and reports the damage, that its workers give.
#include <sched.h>

#include <thread>

#include "DriverTest.h"
#include "codec/SliceWorker.h"
#include "support/FrameCoding.h"
#include "support/Photo.h"

namespace {

// A decompressor handle from the public API, released at the end of the scope.
struct DecoderHandle {
    void* handle;

    explicit DecoderHandle(const Picture& picture)
    {
        const BITMAPINFOHEADER header = HeaderOf(picture.pixelFormat, picture.width, picture.height);
        handle = QFC_DecompressFieldBegin(&header);
    }
    ~DecoderHandle() { QFC_DecompressFieldEnd(handle); }
    DecoderHandle(const DecoderHandle&) = delete;
    DecoderHandle& operator=(const DecoderHandle&) = delete;

    CodecInstance* codec() const { return static_cast<DriverInstance*>(handle)->codec; }
};

// Decodes the frame on the handle's workers and on the calling thread, into
// pictures that start out different, and expects the same bytes and status.
void ExpectSamePictures(const Picture& layout, const std::vector<uint8_t>& frame, FieldStatus expected)
{
    DecoderHandle workers(layout);
    DecoderHandle caller(layout);
    ASSERT_TRUE(workers.handle && caller.handle);
    ASSERT_EQ(QFC_SetSliceThreads(caller.handle, 1), 0);
    Picture fromWorkers = layout;
    Picture fromCaller = layout;
    std::fill(fromWorkers.bytes.begin(), fromWorkers.bytes.end(), 0x11);
    std::fill(fromCaller.bytes.begin(), fromCaller.bytes.end(), 0xEE);
    EXPECT_EQ(DecodeFrame(workers.codec(), frame, &fromWorkers), expected);
    EXPECT_EQ(DecodeFrame(caller.codec(), frame, &fromCaller), expected);
    EXPECT_TRUE(fromCaller.bytes == fromWorkers.bytes);
}

TEST(FieldSliceThreads, CallerDecodesWhatTheWorkersDecodeInEveryLayout)
{
    for (const uint32_t format : {PIXEL_FORMAT_UYVY, PIXEL_FORMAT_BGR24, PIXEL_FORMAT_BGR32}) {
        SCOPED_TRACE(format);
        const Picture photo = ScaledPhoto(format, 720, 486, format != PIXEL_FORMAT_UYVY);
        InstancePtr encoder = MakeInstance(photo);
        ExpectSamePictures(photo, EncodeFrame(encoder.get(), photo), FIELD_OK);
    }
}

TEST(FieldSliceThreads, CallerReportsDamageAsTheWorkersDo)
{
    const Picture photo = ScaledPhoto(PIXEL_FORMAT_UYVY, 720, 486, false);
    InstancePtr encoder = MakeInstance(photo);
    const std::vector<uint8_t> frame = EncodeFrame(encoder.get(), photo);
    // Garbled bits in the middle of field 0, and a frame cut inside field 1.
    std::vector<uint8_t> garbled = frame;
    for (size_t i = garbled.size() / 4; i < garbled.size() / 4 + 64; ++i)
        garbled[i] = 0xFF;
    ExpectSamePictures(photo, garbled, FIELD_DAMAGED);
    ExpectSamePictures(photo, std::vector<uint8_t>(frame.begin(), frame.end() - 1000), FIELD_DAMAGED);
}

TEST(FieldSliceThreads, OnlyOneOrFourAreTakenAndTheChoiceCanChange)
{
    const Picture photo = ScaledPhoto(PIXEL_FORMAT_BGR32, 720, 486, true);
    DecoderHandle decoder(photo);
    ASSERT_TRUE(decoder.handle);
    EXPECT_EQ(decoder.codec()->sliceThreads, 4);
    EXPECT_LT(QFC_SetSliceThreads(nullptr, 1), 0);
    for (const int32_t refused : {0, 2, 3, 5, -1})
        EXPECT_LT(QFC_SetSliceThreads(decoder.handle, refused), 0) << refused;
    EXPECT_EQ(decoder.codec()->sliceThreads, 4);

    InstancePtr encoder = MakeInstance(photo);
    const std::vector<uint8_t> frame = EncodeFrame(encoder.get(), photo);
    Picture expected = photo;
    ASSERT_EQ(DecodeFrame(decoder.codec(), frame, &expected), FIELD_OK);
    for (const int32_t threads : {1, 4, 1}) {
        ASSERT_EQ(QFC_SetSliceThreads(decoder.handle, threads), 0);
        EXPECT_EQ(decoder.codec()->sliceThreads, threads);
        Picture decoded = photo;
        std::fill(decoded.bytes.begin(), decoded.bytes.end(), 0);
        EXPECT_EQ(DecodeFrame(decoder.codec(), frame, &decoded), FIELD_OK);
        EXPECT_TRUE(decoded.bytes == expected.bytes) << threads;
    }
}

// A process held to one processor (taskset, a container) starts no worker
// thread: the caller decodes every slice, and the frame comes out as the
// workers give it.
TEST(FieldSliceThreads, OneProcessorStartsNoWorker)
{
    const Picture photo = ScaledPhoto(PIXEL_FORMAT_UYVY, 720, 486, false);
    InstancePtr encoder = MakeInstance(photo);
    const std::vector<uint8_t> frame = EncodeFrame(encoder.get(), photo);
    Picture expected = photo;
    {
        DecoderHandle decoder(photo);
        ASSERT_EQ(DecodeFrame(decoder.codec(), frame, &expected), FIELD_OK);
    }
    std::thread([&] {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(sched_getcpu(), &one);
        ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
        DecoderHandle decoder(photo);
        ASSERT_TRUE(decoder.handle);
        for (int i = 0; i < 2; ++i) {
            Picture decoded = photo;
            std::fill(decoded.bytes.begin(), decoded.bytes.end(), 0);
            EXPECT_EQ(DecodeFrame(decoder.codec(), frame, &decoded), FIELD_OK);
            EXPECT_TRUE(decoded.bytes == expected.bytes);
        }
        for (const SliceWorker* worker : decoder.codec()->workers)
            EXPECT_EQ(worker->thread, nullptr);
    }).join();
}

// What a host running one handle per core does: each thread decodes with its
// own handle on itself, while the handles' idle workers stay parked.
TEST(InstanceThreads, HandlesDecodingOnTheirCallersRunSideBySide)
{
    const Picture picture = ReadVectorPicture("coffee-1008x21.uyvy", PIXEL_FORMAT_UYVY, 1008, 21, false);
    const std::vector<uint8_t> frame = ReadTestFile("vectors/coffee-1008x21.q95.qf25");
    const std::vector<uint8_t> expected = ReadTestFile("vectors/coffee-1008x21.q95.dec");
    bool ok[3] = {};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&, t] {
            DecoderHandle decoder(picture);
            bool good = decoder.handle && QFC_SetSliceThreads(decoder.handle, 1) == 0;
            for (int i = 0; good && i < 5; ++i) {
                Picture decoded = picture;
                std::fill(decoded.bytes.begin(), decoded.bytes.end(), 0);
                good = DecodeFrame(decoder.codec(), frame, &decoded) == FIELD_OK && decoded.bytes == expected;
            }
            ok[t] = good;
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (const bool good : ok)
        EXPECT_TRUE(good);
}

}  // namespace
