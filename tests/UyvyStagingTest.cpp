// SPDX-License-Identifier: BSD-2-Clause
// UYVY macroblocks in and out of the block buffer, for every kernel set
// alike: byte layout, partial bands, saturation on the way out.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "support/PixelStaging.h"

namespace {

constexpr int LINE = 32;

// Eight UYVY lines of a macroblock inside a larger picture, 16-byte aligned.
struct Picture {
    static constexpr ptrdiff_t STRIDE = 64;
    alignas(16) uint8_t bytes[8 * STRIDE];
    uint8_t* Line(int row) { return bytes + row * STRIDE; }
};

const int16_t* Row(const MacroblockBuffer& buffer, int block, int row)
{
    return buffer.block[block].v + 8 * row;
}

TEST(UyvyStaging, LoadThenStoreReproducesThePicture)
{
    std::mt19937 random(7);
    for (const KernelSet& set : AllKernelSets()) {
        SCOPED_TRACE(set.name);
        const PixelFormatKernels& k = set.kernels.uyvy;
        Picture source;
        FillRandom(source.bytes, sizeof source.bytes, &random);
        for (bool aligned : {false, true}) {
            Picture copy = {};
            MacroblockBuffer buffer;
            (aligned ? k.loadAligned : k.load)(TestStagingMasks(), source.bytes, Picture::STRIDE,
                                               &buffer);
            (aligned ? k.storeAligned : k.store)(&buffer, copy.bytes, Picture::STRIDE);
            for (int row = 0; row < 8; ++row)
                EXPECT_EQ(0, std::memcmp(source.Line(row), copy.Line(row), LINE)) << row;
        }
    }
}

TEST(UyvyStaging, MacropixelBytesLandInTheirBlocks)
{
    for (const KernelSet& set : AllKernelSets()) {
        SCOPED_TRACE(set.name);
        Picture picture = {};
        for (int i = 0; i < LINE; ++i)
            picture.bytes[i] = static_cast<uint8_t>(i);
        const uint8_t macropixel[4] = {0x80, 0x10, 0x80, 0x11};
        std::memcpy(picture.Line(1), macropixel, 4);
        MacroblockBuffer buffer;
        set.kernels.uyvy.load(TestStagingMasks(), picture.bytes, Picture::STRIDE, &buffer);
        for (int j = 0; j < 8; ++j) {
            EXPECT_EQ(Row(buffer, BLOCK_Y_LEFT, 0)[j], 2 * j + 1);
            EXPECT_EQ(Row(buffer, BLOCK_Y_RIGHT, 0)[j], 17 + 2 * j);
            EXPECT_EQ(Row(buffer, BLOCK_CB, 0)[j], 4 * j);
            EXPECT_EQ(Row(buffer, BLOCK_CR, 0)[j], 4 * j + 2);
        }
        EXPECT_EQ(Row(buffer, BLOCK_CB, 1)[0], 128);
        EXPECT_EQ(Row(buffer, BLOCK_Y_LEFT, 1)[0], 16);
        EXPECT_EQ(Row(buffer, BLOCK_Y_LEFT, 1)[1], 17);
        EXPECT_EQ(Row(buffer, BLOCK_CR, 1)[0], 128);
        Picture out = {};
        set.kernels.uyvy.store(&buffer, out.bytes, Picture::STRIDE);
        EXPECT_EQ(0, std::memcmp(out.Line(1), macropixel, 4));
    }
}

TEST(UyvyStaging, PartialLoadRepeatsTheLastLineOrZeroesWithoutOne)
{
    std::mt19937 random(11);
    for (const KernelSet& set : AllKernelSets()) {
        SCOPED_TRACE(set.name);
        Picture picture;
        FillRandom(picture.bytes, sizeof picture.bytes, &random);
        MacroblockBuffer full;
        set.kernels.uyvy.load(TestStagingMasks(), picture.bytes, Picture::STRIDE, &full);
        for (int lines = 0; lines < 8; ++lines) {
            SCOPED_TRACE(lines);
            MacroblockBuffer partial;
            FillRandom(&partial, sizeof partial, &random);
            set.kernels.uyvy.loadPartial(TestStagingMasks(), picture.bytes, Picture::STRIDE,
                                         &partial, lines);
            for (int block = 0; block < 4; ++block) {
                for (int row = 0; row < 8; ++row) {
                    const int16_t zeros[8] = {};
                    const int16_t* expected =
                        lines ? Row(full, block, row < lines ? row : lines - 1) : zeros;
                    EXPECT_EQ(0, std::memcmp(Row(partial, block, row), expected, sizeof zeros))
                        << "block " << block << " row " << row;
                }
            }
        }
    }
}

TEST(UyvyStaging, StoreSaturatesLumaAndChromaSeparately)
{
    struct Case {
        int16_t y, cb, cr;
        uint8_t storedY, storedCb, storedCr;
    };
    const Case cases[] = {
        {-5, 100, 200, 0, 100, 200},  {300, 100, 200, 255, 100, 200},
        {50, -5, 300, 50, 0, 255},    {50, 0x1FF, 7, 50, 255, 7},  // Cb never spills into Cr
        {32767, -32768, 32767, 255, 0, 255}, {255, 0, 255, 255, 0, 255},
    };
    for (const KernelSet& set : AllKernelSets()) {
        SCOPED_TRACE(set.name);
        for (const Case& c : cases) {
            MacroblockBuffer buffer;
            for (int i = 0; i < 64; ++i) {
                buffer.block[BLOCK_Y_LEFT].v[i] = buffer.block[BLOCK_Y_RIGHT].v[i] = c.y;
                buffer.block[BLOCK_CB].v[i] = c.cb;
                buffer.block[BLOCK_CR].v[i] = c.cr;
            }
            Picture out = {};
            set.kernels.uyvy.store(&buffer, out.bytes, Picture::STRIDE);
            for (int k = 0; k < 8; ++k) {
                const uint8_t* macropixel = out.Line(7) + 4 * k;
                EXPECT_EQ(macropixel[0], c.storedCb) << c.cb;
                EXPECT_EQ(macropixel[1], c.storedY) << c.y;
                EXPECT_EQ(macropixel[2], c.storedCr) << c.cr;
                EXPECT_EQ(macropixel[3], c.storedY) << c.y;
            }
        }
    }
}

TEST(UyvyStaging, PartialStoreWritesOnlyItsLines)
{
    std::mt19937 random(13);
    for (const KernelSet& set : AllKernelSets()) {
        SCOPED_TRACE(set.name);
        MacroblockBuffer buffer;
        FillRandom(&buffer, sizeof buffer, &random);
        for (int lines = 0; lines < 8; ++lines) {
            Picture out;
            std::memset(out.bytes, 0xA5, sizeof out.bytes);
            set.kernels.uyvy.storePartial(&buffer, out.bytes, Picture::STRIDE, lines);
            for (int i = 0; i < static_cast<int>(sizeof out.bytes); ++i) {
                const bool written = i / Picture::STRIDE < lines && i % Picture::STRIDE < LINE;
                if (!written) {
                    ASSERT_EQ(out.bytes[i], 0xA5) << "lines " << lines << " byte " << i;
                }
            }
        }
    }
}

}  // namespace
