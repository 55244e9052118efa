// SPDX-License-Identifier: BSD-2-Clause
// Every SSE2 and AVX2 pixel kernel against its plain twin: identical random
// input, every output byte compared, including a guard area around the
// macroblock lines. Strides of both signs, odd addresses, and samples over the
// whole int16 range; the RGB kernels also over every colour and every
// (Y, Cb, Cr) byte triple. Set QF25_CHECK_SEED to replay a printed seed.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "support/PixelStaging.h"

namespace {

constexpr int TRIALS = 100;
constexpr int GUARD = 64;

struct Layout {
    ptrdiff_t stride;
    int misalign;  // of the top line from a 16-byte boundary
    int lineBytes;
};

// The macroblock's eight lines somewhere inside, guard bytes all around.
struct Picture {
    alignas(16) uint8_t bytes[1280];
};

uint8_t* Top(Picture* picture, const Layout& layout)
{
    const ptrdiff_t below = layout.stride < 0 ? 7 * -layout.stride : 0;
    return picture->bytes + GUARD + layout.misalign + below;
}

Layout RandomLayout(int lineBytes, bool aligned, std::mt19937* random)
{
    const ptrdiff_t magnitude =
        (lineBytes + 15) / 16 * 16 + 16 * ((*random)() % 3) + (aligned ? 0 : (*random)() % 16);
    const int misalign = aligned ? 0 : (*random)() % 16;
    Layout layout = {(*random)() % 2 ? -magnitude : magnitude, misalign, lineBytes};
    static_assert(GUARD + 15 + 7 * (64 + 32 + 15) + 64 + GUARD <= sizeof(Picture::bytes));
    return layout;
}

// Samples of decoded blocks: in range, somewhat out of range, or anything at all.
void RandomSamples(MacroblockBuffer* buffer, std::mt19937* random)
{
    const int mode = (*random)() % 3;
    for (Block& block : buffer->block) {
        for (int16_t& sample : block.v) {
            const uint32_t r = (*random)();
            sample = mode == 0   ? static_cast<int16_t>(r % 256)
                     : mode == 1 ? static_cast<int16_t>(static_cast<int>(r % 1100) - 400)
                                 : static_cast<int16_t>(static_cast<uint16_t>(r));
        }
    }
}

uint32_t CheckSeed()
{
    const char* given = std::getenv("QF25_CHECK_SEED");
    const uint32_t seed = given ? static_cast<uint32_t>(std::strtoul(given, nullptr, 0))
                                : std::random_device{}();
    std::printf("pixel kernel check seed %u\n", seed);
    return seed;
}

// Calls one load kernel; lines < 8 means its partial form.
struct LoadCall {
    LoadMacroblockFn full;
    LoadMacroblockPartialFn partial;
    void operator()(const uint8_t* source, ptrdiff_t stride, MacroblockBuffer* buffer,
                    int lines) const
    {
        if (full)
            full(TestStagingMasks(), source, stride, buffer);
        else
            partial(TestStagingMasks(), source, stride, buffer, lines);
    }
};

struct StoreCall {
    StoreMacroblockFn full;
    StoreMacroblockPartialFn partial;
    void operator()(const MacroblockBuffer* buffer, uint8_t* destination, ptrdiff_t stride,
                    int lines) const
    {
        if (full)
            full(buffer, destination, stride);
        else
            partial(buffer, destination, stride, lines);
    }
};

void CheckLoad(LoadCall plain, LoadCall simd, int lineBytes, bool aligned, std::mt19937* random)
{
    for (int trial = 0; trial < TRIALS; ++trial) {
        const Layout layout = RandomLayout(lineBytes, aligned, random);
        const int lines = plain.full ? 8 : trial % 8;
        Picture picture;
        FillRandom(picture.bytes, sizeof picture.bytes, random);
        MacroblockBuffer expected;
        FillRandom(&expected, sizeof expected, random);
        MacroblockBuffer actual = expected;
        plain(Top(&picture, layout), layout.stride, &expected, lines);
        simd(Top(&picture, layout), layout.stride, &actual, lines);
        ASSERT_EQ(0, std::memcmp(&expected, &actual, sizeof actual))
            << "stride " << layout.stride << " misalign " << layout.misalign << " lines " << lines;
    }
}

void CheckStore(StoreCall plain, StoreCall simd, int lineBytes, bool aligned, std::mt19937* random)
{
    for (int trial = 0; trial < TRIALS; ++trial) {
        const Layout layout = RandomLayout(lineBytes, aligned, random);
        const int lines = plain.full ? 8 : trial % 8;
        MacroblockBuffer buffer;
        RandomSamples(&buffer, random);
        Picture original;
        FillRandom(original.bytes, sizeof original.bytes, random);
        Picture expected = original;
        Picture actual = original;
        plain(&buffer, Top(&expected, layout), layout.stride, lines);
        simd(&buffer, Top(&actual, layout), layout.stride, lines);
        ASSERT_EQ(0, std::memcmp(expected.bytes, actual.bytes, sizeof actual.bytes))
            << "stride " << layout.stride << " misalign " << layout.misalign << " lines " << lines;
        // Neither may touch anything but its own lines.
        for (int row = 0; row < lines; ++row)
            std::memcpy(Top(&original, layout) + row * layout.stride,
                        Top(&expected, layout) + row * layout.stride, lineBytes);
        ASSERT_EQ(0, std::memcmp(expected.bytes, original.bytes, sizeof actual.bytes))
            << "stride " << layout.stride << " lines " << lines;
    }
}

constexpr const PixelFormatKernels PixelKernels::*RGB_FORMATS[] = {&PixelKernels::bgr24,
                                                                    &PixelKernels::bgr32};

TEST(PixelKernelCheck, SimdKernelsMatchTheirPlainTwins)
{
    std::mt19937 random(CheckSeed());
    const PixelKernels plain = PlainKernelSet().kernels;
    const PixelFormatKernels PixelKernels::*formats[] = {&PixelKernels::uyvy, &PixelKernels::bgr24,
                                                          &PixelKernels::bgr32};
    for (const KernelSet& set : SimdKernelSets()) {
        for (const auto format : formats) {
            const PixelFormatKernels& p = plain.*format;
            const PixelFormatKernels& s = set.kernels.*format;
            const int lineBytes = p.bytesPerMacroblockLine;
            SCOPED_TRACE(testing::Message() << set.name << " format with " << lineBytes << "-byte lines");
            {
                SCOPED_TRACE("load");
                CheckLoad({p.load, nullptr}, {s.load, nullptr}, lineBytes, false, &random);
            }
            {
                SCOPED_TRACE("loadAligned");
                CheckLoad({p.load, nullptr}, {s.loadAligned, nullptr}, lineBytes, true, &random);
            }
            {
                SCOPED_TRACE("loadPartial");
                CheckLoad({nullptr, p.loadPartial}, {nullptr, s.loadPartial}, lineBytes, false, &random);
            }
            {
                SCOPED_TRACE("store");
                CheckStore({p.store, nullptr}, {s.store, nullptr}, lineBytes, false, &random);
            }
            {
                SCOPED_TRACE("storeAligned");
                CheckStore({p.store, nullptr}, {s.storeAligned, nullptr}, lineBytes, true, &random);
            }
            {
                SCOPED_TRACE("storePartial");
                CheckStore({nullptr, p.storePartial}, {nullptr, s.storePartial}, lineBytes, false,
                           &random);
            }
        }
    }
}

constexpr uint32_t COLOURS = 1u << 24;
constexpr int MACROBLOCK_PIXELS = 128;

// Each colour once at an even pixel (giving its Cb) and once at an odd one
// (its Cr); the fourth BGR32 byte is noise.
TEST(PixelKernelCheck, SimdRgbLoadsMatchTheirPlainTwinsForEveryColour)
{
    const PixelKernels plain = PlainKernelSet().kernels;
    for (const KernelSet& set : SimdKernelSets()) {
        for (const auto format : RGB_FORMATS) {
            const LoadMacroblockFn expectedLoad = (plain.*format).load;
            const LoadMacroblockFn actualLoad = (set.kernels.*format).load;
            const int bytesPerPixel = (plain.*format).bytesPerMacroblockLine / 16;
            SCOPED_TRACE(testing::Message() << set.name << " BGR" << 8 * bytesPerPixel);
            uint8_t picture[MACROBLOCK_PIXELS * 4];
            for (uint32_t shift = 0; shift < 2; ++shift) {
                for (uint32_t first = 0; first < COLOURS; first += MACROBLOCK_PIXELS) {
                    for (int p = 0; p < MACROBLOCK_PIXELS; ++p) {
                        const uint32_t colour = (first + p + shift) % COLOURS;
                        uint8_t* const pixel = picture + p * bytesPerPixel;
                        for (int component = 0; component < 3; ++component)
                            pixel[component] = static_cast<uint8_t>(colour >> 8 * component);
                        if (bytesPerPixel == 4)
                            pixel[3] = static_cast<uint8_t>(colour * 131 + 7);
                    }
                    const ptrdiff_t stride = 16 * bytesPerPixel;
                    MacroblockBuffer expected;
                    MacroblockBuffer actual;
                    expectedLoad(TestStagingMasks(), picture, stride, &expected);
                    actualLoad(TestStagingMasks(), picture, stride, &actual);
                    ASSERT_EQ(0, std::memcmp(&expected, &actual, sizeof actual))
                        << "colours from " << first + shift;
                }
            }
        }
    }
}

// Pixel q of the enumeration has luma q mod 256 and shares the chroma q / 256
// (Cb in the low byte) with its partner: every byte triple comes once.
TEST(PixelKernelCheck, SimdRgbStoresMatchTheirPlainTwinsForEveryTriple)
{
    const PixelKernels plain = PlainKernelSet().kernels;
    for (const KernelSet& set : SimdKernelSets()) {
        for (const auto format : RGB_FORMATS) {
            const StoreMacroblockFn expectedStore = (plain.*format).store;
            const StoreMacroblockFn actualStore = (set.kernels.*format).store;
            const int lineBytes = (plain.*format).bytesPerMacroblockLine;
            SCOPED_TRACE(testing::Message() << set.name << " BGR" << lineBytes / 2);
            for (uint32_t first = 0; first < COLOURS; first += MACROBLOCK_PIXELS) {
                MacroblockBuffer buffer;
                for (int p = 0; p < MACROBLOCK_PIXELS; ++p) {
                    const uint32_t q = first + p;
                    const int row = p / 16;
                    const int column = p % 16;
                    buffer.block[column < 8 ? BLOCK_Y_LEFT : BLOCK_Y_RIGHT].v[8 * row + column % 8] =
                        static_cast<int16_t>(q % 256);
                    buffer.block[BLOCK_CB].v[8 * row + column / 2] = static_cast<int16_t>(q / 256 % 256);
                    buffer.block[BLOCK_CR].v[8 * row + column / 2] = static_cast<int16_t>(q / 65536);
                }
                uint8_t expected[8 * 64];
                uint8_t actual[8 * 64];
                expectedStore(&buffer, expected, lineBytes);
                actualStore(&buffer, actual, lineBytes);
                ASSERT_EQ(0, std::memcmp(expected, actual, 8 * lineBytes)) << "pixels from " << first;
            }
        }
    }
}

}  // namespace
