// SPDX-License-Identifier: BSD-2-Clause
#include "pixels/RgbConvert.h"

#include "pixels/ColourTables.h"
#include "pixels/Staging.h"

namespace {

// Lane-wise sums of table entries; every sum stays within -278..534.
void AddEntries(const int16_t* a, const int16_t* b, int16_t* sum)
{
    for (int lane = 0; lane < COLOUR_LANES; ++lane)
        sum[lane] = static_cast<int16_t>(a[lane] + b[lane]);
}

// (Cb, Y, Cr, Y) of the pixel whose blue, green, red start at `pixel`.
void ForwardPixel(const ColourTables* tables, const uint8_t* pixel, int16_t* ycc)
{
    int16_t redGreen[COLOUR_LANES];
    AddEntries(tables->yccFromR[pixel[2]], tables->yccFromG[pixel[1]], redGreen);
    AddEntries(redGreen, tables->yccFromB[pixel[0]], ycc);
}

void ConvertToUYVY4(const uint8_t* pixels, int bytesPerPixel, uint8_t* uyvy)
{
    const ColourTables* tables = GetColourTables();
    for (int pair = 0; pair < 2; ++pair) {
        int16_t left[COLOUR_LANES];
        int16_t right[COLOUR_LANES];
        ForwardPixel(tables, pixels + 2 * pair * bytesPerPixel, left);
        ForwardPixel(tables, pixels + (2 * pair + 1) * bytesPerPixel, right);
        uint8_t* macropixel = uyvy + 4 * pair;
        macropixel[0] = SaturateToByte(left[0]);
        macropixel[1] = SaturateToByte(left[1]);
        macropixel[2] = SaturateToByte(right[2]);
        macropixel[3] = SaturateToByte(right[3]);
    }
}

// Writes B, G, R (and the zero lane when bytesPerPixel is 4) of both pixels.
void ConvertPair(const uint8_t* uyvy, int bytesPerPixel, uint8_t* pixels)
{
    const ColourTables* tables = GetColourTables();
    int16_t chroma[COLOUR_LANES];
    AddEntries(tables->bgrFromCb[uyvy[0]], tables->bgrFromCr[uyvy[2]], chroma);
    for (int pixel = 0; pixel < 2; ++pixel) {
        int16_t bgr[COLOUR_LANES];
        AddEntries(tables->bgrFromY[uyvy[1 + 2 * pixel]], chroma, bgr);
        for (int lane = 0; lane < bytesPerPixel; ++lane)
            pixels[pixel * bytesPerPixel + lane] = SaturateToByte(bgr[lane]);
    }
}

}  // namespace

void ConvertBGR24ToUYVY4(const uint8_t* bgr, uint8_t* uyvy)
{
    ConvertToUYVY4(bgr, 3, uyvy);
}

void ConvertBGR32ToUYVY4(const uint8_t* bgrx, uint8_t* uyvy)
{
    ConvertToUYVY4(bgrx, 4, uyvy);
}

void ConvertUYVYToBGR24Pair(const uint8_t* uyvy, uint8_t* bgr)
{
    ConvertPair(uyvy, 3, bgr);
}

void ConvertUYVYToBGR32Pair(const uint8_t* uyvy, uint8_t* bgrx)
{
    ConvertPair(uyvy, 4, bgrx);
}
