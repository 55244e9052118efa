// SPDX-License-Identifier: BSD-2-Clause
// Instance construction failing at each of its acquisitions in turn, through
// every way a host creates an instance: the open is refused, nothing is left
// behind (the sanitizer builds' leak and thread checkers watch), and the next
// instance codes as if nothing had happened.
#include "DriverTest.h"
#include "codec/ConstructionFailures.h"
#include "support/HostCoding.h"

namespace {

// The driver's record; the codec's record; the shared field job and its
// event; per worker its record and event; the four quantiser tables. The
// workers' threads start with the first field decoded.
constexpr int ACQUISITIONS = 1 + 1 + 2 + 2 * SLICE_COUNT + 4;

const Picture& Coffee()
{
    static const Picture picture = ReadVectorPicture("coffee-1008x21.uyvy", PIXEL_FORMAT_UYVY, 1008, 21, false);
    return picture;
}

bool IsCoffeeFrame(const std::vector<uint8_t>& frame)
{
    return frame == ReadTestFile("vectors/coffee-1008x21.q95.qf25");
}

bool IsDecodedCoffee(const Picture& picture)
{
    return picture.bytes == ReadTestFile("vectors/coffee-1008x21.q95.dec");
}

Picture EmptyCoffee()
{
    Picture picture = Coffee();
    std::fill(picture.bytes.begin(), picture.bytes.end(), 0);
    return picture;
}

// One way of making an instance, and what proves that one made afterwards
// works.
struct Opener {
    const char* name;
    void* (*open)();
    void (*close)(void* handle);
    bool (*works)(void* handle);
};

void* OpenAsVideoCompressor()
{
    ICOPEN parameters = {};
    parameters.dwSize = sizeof parameters;
    parameters.fccType = ICTYPE_VIDEO;
    parameters.fccHandler = mmioFOURCC('q', 'f', '2', '5');
    return reinterpret_cast<void*>(Send(0, DRV_OPEN, nullptr, &parameters));
}

void* OpenWithoutParameters()
{
    return reinterpret_cast<void*>(Send(0, DRV_OPEN));
}

void CloseDriver(void* handle)
{
    Send(uintptr_t(handle), DRV_CLOSE);
}

bool DriverCodesCoffee(void* handle)
{
    const std::vector<uint8_t> frame = CompressMessages(uintptr_t(handle), Coffee());
    Picture decoded = EmptyCoffee();
    return IsCoffeeFrame(frame) && DecompressMessages(uintptr_t(handle), frame, &decoded) == ICERR_OK &&
           IsDecodedCoffee(decoded);
}

void* BeginCompressor()
{
    const BITMAPINFOHEADER format = FormatOf(Coffee());
    return QFC_CompressFieldBegin(&format);
}

void* BeginDecompressor()
{
    const BITMAPINFOHEADER format = FormatOf(Coffee());
    return QFC_DecompressFieldBegin(&format);
}

const Opener OPENERS[] = {
    {"DRV_OPEN", OpenAsVideoCompressor, CloseDriver, DriverCodesCoffee},
    {"DRV_OPEN without parameters", OpenWithoutParameters, CloseDriver, DriverCodesCoffee},
    {"QFC_CompressFieldBegin", BeginCompressor, [](void* handle) { QFC_CompressFieldEnd(handle); },
     [](void* handle) { return IsCoffeeFrame(CompressFields(handle, Coffee())); }},
    {"QFC_DecompressFieldBegin", BeginDecompressor, [](void* handle) { QFC_DecompressFieldEnd(handle); },
     [](void* handle) {
         Picture decoded = EmptyCoffee();
         const std::vector<uint8_t> frame = ReadTestFile("vectors/coffee-1008x21.q95.qf25");
         return DecompressFields(handle, frame, &decoded) == 0 && IsDecodedCoffee(decoded);
     }},
};

TEST(HardeningFailures, EveryAcquisitionOfEveryOpenCanFail)
{
    for (const Opener& opener : OPENERS) {
        int failures = 0;
        for (int step = 1;; ++step) {
            ASSERT_LT(step, 100) << opener.name << " never succeeds";
            FailConstructionStep(step);
            void* handle = opener.open();
            FailConstructionStep(0);
            if (handle) {
                opener.close(handle);
                break;
            }
            ++failures;
            void* fresh = opener.open();
            ASSERT_NE(fresh, nullptr) << opener.name << " after failing acquisition " << step;
            EXPECT_TRUE(opener.works(fresh)) << opener.name << " after failing acquisition " << step;
            opener.close(fresh);
        }
        EXPECT_GE(failures, ACQUISITIONS) << opener.name;
    }
}

// Negotiation and frames acquire nothing but the workers' threads, and a
// frame whose thread cannot be had is decoded all the same.
TEST(HardeningFailures, AFrameWithoutItsWorkerThreadsIsStillDecoded)
{
    for (int step = 1; step <= SLICE_COUNT; ++step) {
        OpenedCodec codec;
        ASSERT_NE(codec.id, 0u);
        FailConstructionStep(step);
        const bool works = DriverCodesCoffee(codec.instance());
        FailConstructionStep(0);
        EXPECT_TRUE(works) << "failing acquisition " << step;
    }
}

}  // namespace
