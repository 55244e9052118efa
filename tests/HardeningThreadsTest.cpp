// SPDX-License-Identifier: BSD-2-Clause
// Many instances made, used and destroyed on many threads at once, the very
// first ones of the process among them (their construction builds the shared
// colour tables), through DriverProc and through the field functions. Every
// thread must get the bytes of the conformance vectors, which are what one
// instance alone gives. The thread sanitizer build runs this too.
#include <barrier>
#include <thread>

#include "DriverTest.h"
#include "support/HostCoding.h"

namespace {

constexpr int THREADS = 8;
constexpr int ROUNDS = 3;

// A picture with its coded frame and the picture that frame decodes to.
struct Vector {
    Picture picture;
    std::vector<uint8_t> frame;
    std::vector<uint8_t> decoded;
};

Vector LoadVector(const char* stem, const char* extension, uint32_t layout, int width, int height, bool bottomUp)
{
    const std::string name = stem;
    return Vector{ReadVectorPicture(name + "." + extension, layout, width, height, bottomUp),
                  ReadTestFile("vectors/" + name + ".q95.qf25"), ReadTestFile("vectors/" + name + ".q95.dec")};
}

Picture Blank(const Picture& like)
{
    Picture picture = like;
    std::fill(picture.bytes.begin(), picture.bytes.end(), 0);
    return picture;
}

// One instance per round, through DriverProc: both pictures on it in turn.
bool RoundThroughDriver(const std::vector<Vector>& vectors)
{
    const auto id = uintptr_t(Send(0, DRV_OPEN));
    bool good = id != 0;
    for (const Vector& v : vectors) {
        Picture decoded = Blank(v.picture);
        good = good && CompressMessages(id, v.picture) == v.frame &&
               DecompressMessages(id, v.frame, &decoded) == ICERR_OK && decoded.bytes == v.decoded;
    }
    Send(id, DRV_CLOSE);
    return good;
}

// A compressor and a decompressor per picture, through the field functions.
bool RoundThroughFields(const std::vector<Vector>& vectors)
{
    bool good = true;
    for (const Vector& v : vectors) {
        const BITMAPINFOHEADER format = FormatOf(v.picture);
        void* encoder = QFC_CompressFieldBegin(&format);
        void* decoder = QFC_DecompressFieldBegin(&format);
        Picture decoded = Blank(v.picture);
        good = good && encoder && decoder && CompressFields(encoder, v.picture) == v.frame &&
               DecompressFields(decoder, v.frame, &decoded) == 0 && decoded.bytes == v.decoded;
        QFC_CompressFieldEnd(encoder);
        QFC_DecompressFieldEnd(decoder);
    }
    return good;
}

TEST(HardeningThreads, FirstInstancesOfTheProcessRaceAndCodeAlike)
{
    // RGB pictures go through the colour tables; UYVY ones do not.
    const std::vector<Vector> vectors = {
        LoadVector("chelsea-1000x32-bottomup", "bgr24", PIXEL_FORMAT_BGR24, 1000, 32, true),
        LoadVector("coffee-1008x21", "uyvy", PIXEL_FORMAT_UYVY, 1008, 21, false),
    };
    std::barrier start(THREADS);
    bool good[THREADS] = {};
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            bool all = true;
            for (int round = 0; round < ROUNDS; ++round)
                all &= t % 2 ? RoundThroughFields(vectors) : RoundThroughDriver(vectors);
            good[t] = all;
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int t = 0; t < THREADS; ++t)
        EXPECT_TRUE(good[t]) << "thread " << t << (t % 2 ? " (field functions)" : " (DriverProc)");
}

}  // namespace
