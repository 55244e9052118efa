// SPDX-License-Identifier: BSD-2-Clause
// BGR <-> Y'CbCr through the colour tables: the tables themselves, the worked
// examples of the conversion, and the RGB kernels against conversion followed
// by UYVY staging.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "pixels/ColourTables.h"
#include "pixels/RgbConvert.h"
#include "support/PixelStaging.h"

namespace {

int FloorDiv256(int product)
{
    return static_cast<int>(std::floor(product / 256.0));
}

void SetEntry(int16_t* entry, int a, int b, int c, int d)
{
    const int lanes[4] = {a, b, c, d};
    for (int lane = 0; lane < 4; ++lane)
        entry[lane] = static_cast<int16_t>(lanes[lane]);
}

// The tables computed directly from their definition, in floating point.
void ReferenceTables(ColourTables* t)
{
    for (int i = 0; i < 256; ++i) {
        const int y = FloorDiv256(298 * (i - 16));
        SetEntry(t->yccFromR[i], 128 + FloorDiv256(-37 * i), 16 + FloorDiv256(66 * i),
                 128 + FloorDiv256(112 * i), 16 + FloorDiv256(66 * i));
        SetEntry(t->yccFromG[i], FloorDiv256(-73 * i), FloorDiv256(129 * i), FloorDiv256(-93 * i),
                 FloorDiv256(129 * i));
        SetEntry(t->yccFromB[i], FloorDiv256(112 * i), FloorDiv256(25 * i), FloorDiv256(-17 * i),
                 FloorDiv256(25 * i));
        SetEntry(t->bgrFromY[i], y, y, y, 0);
        SetEntry(t->bgrFromCb[i], FloorDiv256(517 * (i - 128)), FloorDiv256(99 * (128 - i)), 0, 0);
        SetEntry(t->bgrFromCr[i], 0, FloorDiv256(207 * (128 - i)), FloorDiv256(409 * (i - 128)), 0);
    }
}

void ExpectEntry(const int16_t* entry, int a, int b, int c, int d)
{
    EXPECT_EQ(entry[0], a);
    EXPECT_EQ(entry[1], b);
    EXPECT_EQ(entry[2], c);
    EXPECT_EQ(entry[3], d);
}

TEST(ColourTables, HoldTheirDefinedValues)
{
    EnsureColourTables();
    const ColourTables* t = GetColourTables();
    ExpectEntry(t->yccFromR[255], 91, 81, 239, 81);
    ExpectEntry(t->yccFromG[255], -73, 128, -93, 128);
    ExpectEntry(t->yccFromB[255], 111, 24, -17, 24);
    ExpectEntry(t->bgrFromY[0], -19, -19, -19, 0);
    ExpectEntry(t->bgrFromY[16], 0, 0, 0, 0);
    ExpectEntry(t->bgrFromY[255], 278, 278, 278, 0);
    ExpectEntry(t->bgrFromCb[0], -259, 49, 0, 0);
    ExpectEntry(t->bgrFromCb[255], 256, -50, 0, 0);
    ExpectEntry(t->bgrFromCr[0], 0, 103, -205, 0);
    ExpectEntry(t->bgrFromCr[255], 0, -103, 202, 0);
    static ColourTables reference;
    ReferenceTables(&reference);
    EXPECT_EQ(0, std::memcmp(t, &reference, sizeof reference));
}

TEST(ColourTablesThread, TwoFirstUsersAtOnceSeeTheSameCompleteTables)
{
    static ColourTables reference;
    ReferenceTables(&reference);
    std::atomic<int> arrived{0};
    std::vector<uint8_t> seen[2];
    const auto firstUser = [&](int k) {
        arrived.fetch_add(1);
        while (arrived.load() < 2) {
        }
        EnsureColourTables();
        const auto* bytes = reinterpret_cast<const uint8_t*>(GetColourTables());
        seen[k].assign(bytes, bytes + sizeof(ColourTables));
    };
    std::thread a(firstUser, 0);
    std::thread b(firstUser, 1);
    a.join();
    b.join();
    for (const std::vector<uint8_t>& tables : seen)
        EXPECT_EQ(0, std::memcmp(tables.data(), &reference, sizeof reference));
}

// Pixels as (blue, green, red); a pair's macropixel as Cb Y Cr Y.
struct Pixel {
    uint8_t b, g, r;
};

struct ForwardExample {
    Pixel left, right;
    uint8_t macropixel[4];
};

const ForwardExample FORWARD[] = {
    {{0, 0, 0}, {0, 0, 0}, {128, 16, 128, 16}},          // black
    {{255, 255, 255}, {255, 255, 255}, {129, 233, 129, 233}},
    {{0, 0, 255}, {0, 0, 255}, {91, 81, 239, 81}},       // red
    {{0, 255, 0}, {0, 255, 0}, {55, 144, 35, 144}},      // green
    {{255, 0, 0}, {255, 0, 0}, {239, 40, 111, 40}},      // blue
    {{255, 0, 0}, {0, 0, 255}, {239, 40, 239, 81}},      // Cb from blue, Cr from red
    {{128, 128, 128}, {128, 128, 128}, {128, 125, 128, 125}},
};

TEST(ColourConversion, ForwardExamplesIgnoringTheFourthByte)
{
    for (const ForwardExample& e : FORWARD) {
        uint8_t bgr24[12];
        uint8_t bgr32[16];
        for (int p = 0; p < 4; ++p) {
            const Pixel& pixel = p % 2 ? e.right : e.left;
            const uint8_t bytes[4] = {pixel.b, pixel.g, pixel.r, static_cast<uint8_t>(0x3C * p)};
            std::memcpy(bgr24 + 3 * p, bytes, 3);
            std::memcpy(bgr32 + 4 * p, bytes, 4);
        }
        uint8_t from24[8];
        uint8_t from32[8];
        ConvertBGR24ToUYVY4(bgr24, from24);
        ConvertBGR32ToUYVY4(bgr32, from32);
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(from24[i], e.macropixel[i % 4]) << i;
            EXPECT_EQ(from32[i], e.macropixel[i % 4]) << i;
        }
    }
}

struct ReverseExample {
    uint8_t macropixel[4];
    Pixel left, right;
};

const ReverseExample REVERSE[] = {
    {{128, 16, 128, 16}, {0, 0, 0}, {0, 0, 0}},
    {{129, 233, 129, 233}, {254, 250, 253}, {254, 250, 253}},
    {{91, 81, 239, 81}, {0, 0, 252}, {0, 0, 252}},
    {{55, 144, 35, 144}, {1, 252, 0}, {1, 252, 0}},
    {{239, 40, 111, 40}, {251, 0, 0}, {251, 0, 0}},
    {{239, 40, 239, 81}, {251, 0, 204}, {255, 0, 252}},
    {{128, 125, 128, 125}, {126, 126, 126}, {126, 126, 126}},
    {{128, 235, 128, 235}, {254, 254, 254}, {254, 254, 254}},
};

TEST(ColourConversion, ReverseExamplesWritingZeroFourthBytes)
{
    for (const ReverseExample& e : REVERSE) {
        const uint8_t expected[8] = {e.left.b, e.left.g, e.left.r, 0,
                                     e.right.b, e.right.g, e.right.r, 0};
        uint8_t bgr24[6];
        uint8_t bgr32[8];
        std::memset(bgr32, 0xEE, sizeof bgr32);
        ConvertUYVYToBGR24Pair(e.macropixel, bgr24);
        ConvertUYVYToBGR32Pair(e.macropixel, bgr32);
        EXPECT_EQ(0, std::memcmp(bgr32, expected, 8)) << int(e.macropixel[0]);
        EXPECT_EQ(0, std::memcmp(bgr24, expected, 3)) << int(e.macropixel[0]);
        EXPECT_EQ(0, std::memcmp(bgr24 + 3, expected + 4, 3)) << int(e.macropixel[0]);
    }
}

TEST(ColourConversion, CbComesFromTheLeftPixelAndCrFromTheRight)
{
    std::mt19937 random(3);
    for (int trial = 0; trial < 200; ++trial) {
        uint8_t pixels[12];
        FillRandom(pixels, sizeof pixels, &random);
        uint8_t before[8];
        uint8_t after[8];
        ConvertBGR24ToUYVY4(pixels, before);
        FillRandom(pixels + 3, 3, &random);  // the right pixel of the first pair
        FillRandom(pixels + 6, 3, &random);  // the left pixel of the second pair
        ConvertBGR24ToUYVY4(pixels, after);
        EXPECT_EQ(before[0], after[0]);
        EXPECT_EQ(before[6], after[6]);
    }
}

// Converts each line between BGR and UYVY with the pair routines; the UYVY
// side then goes through the plain UYVY kernels.
void ToUyvy(int bytesPerPixel, const uint8_t* bgr, uint8_t* uyvy)
{
    for (int quad = 0; quad < 4; ++quad) {
        if (bytesPerPixel == 3)
            ConvertBGR24ToUYVY4(bgr + 12 * quad, uyvy + 8 * quad);
        else
            ConvertBGR32ToUYVY4(bgr + 16 * quad, uyvy + 8 * quad);
    }
}

void FromUyvy(int bytesPerPixel, const uint8_t* uyvy, uint8_t* bgr)
{
    for (int pair = 0; pair < 8; ++pair) {
        if (bytesPerPixel == 3)
            ConvertUYVYToBGR24Pair(uyvy + 4 * pair, bgr + 6 * pair);
        else
            ConvertUYVYToBGR32Pair(uyvy + 4 * pair, bgr + 8 * pair);
    }
}

// A full band for 8 lines, a partial one below.
void LoadLines(const PixelFormatKernels& k, const uint8_t* source, ptrdiff_t stride,
               MacroblockBuffer* buffer, int lines)
{
    if (lines == 8)
        k.load(TestStagingMasks(), source, stride, buffer);
    else
        k.loadPartial(TestStagingMasks(), source, stride, buffer, lines);
}

void StoreLines(const PixelFormatKernels& k, const MacroblockBuffer* buffer, uint8_t* destination,
                ptrdiff_t stride, int lines)
{
    if (lines == 8)
        k.store(buffer, destination, stride);
    else
        k.storePartial(buffer, destination, stride, lines);
}

TEST(RgbStaging, EqualsConversionThroughUyvyStagingForEveryLineCount)
{
    constexpr ptrdiff_t STRIDE = 80;
    std::mt19937 random(5);
    const PixelKernels plain = PlainKernelSet().kernels;
    for (const KernelSet& set : AllKernelSets()) {
        for (const PixelFormatKernels* k : {&set.kernels.bgr24, &set.kernels.bgr32}) {
            const int bytesPerPixel = k->bytesPerMacroblockLine / 16;
            SCOPED_TRACE(testing::Message() << set.name << " " << bytesPerPixel * 8);
            for (int lines = 0; lines <= 8; ++lines) {
                SCOPED_TRACE(lines);
                uint8_t picture[8 * STRIDE];
                uint8_t uyvy[8 * STRIDE];
                FillRandom(picture, sizeof picture, &random);
                for (int row = 0; row < lines; ++row)
                    ToUyvy(bytesPerPixel, picture + row * STRIDE, uyvy + row * STRIDE);
                MacroblockBuffer loaded;
                MacroblockBuffer expected;
                FillRandom(&loaded, sizeof loaded, &random);
                LoadLines(*k, picture, STRIDE, &loaded, lines);
                LoadLines(plain.uyvy, uyvy, STRIDE, &expected, lines);
                EXPECT_EQ(0, std::memcmp(&loaded, &expected, sizeof loaded));

                MacroblockBuffer decoded;
                FillRandom(&decoded, sizeof decoded, &random);
                uint8_t stored[8 * STRIDE];
                uint8_t reference[8 * STRIDE];
                FillRandom(stored, sizeof stored, &random);
                std::memcpy(reference, stored, sizeof stored);
                StoreLines(*k, &decoded, stored, STRIDE, lines);
                StoreLines(plain.uyvy, &decoded, uyvy, STRIDE, lines);
                for (int row = 0; row < lines; ++row)
                    FromUyvy(bytesPerPixel, uyvy + row * STRIDE, reference + row * STRIDE);
                EXPECT_EQ(0, std::memcmp(stored, reference, sizeof stored));
            }
        }
    }
}

}  // namespace
