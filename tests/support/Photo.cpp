// SPDX-License-Identifier: BSD-2-Clause
#include "support/Photo.h"

#include <algorithm>

namespace {

constexpr int SOURCE_WIDTH = 720;
constexpr int SOURCE_HEIGHT = 486;

// The source, top line first, three bytes (B, G, R) per pixel.
const std::vector<uint8_t>& SourceBgr()
{
    static const std::vector<uint8_t> bgr = [] {
        const std::vector<uint8_t> bottomUp = ReadTestFile("vectors/astronaut-720x486-bottomup.bgr24");
        std::vector<uint8_t> topDown(bottomUp.size());
        const size_t line = SOURCE_WIDTH * 3;
        for (int y = 0; y < SOURCE_HEIGHT; ++y)
            std::copy_n(bottomUp.begin() + (SOURCE_HEIGHT - 1 - y) * line, line, topDown.begin() + y * line);
        return topDown;
    }();
    return bgr;
}

// Component c of the scaled picture at (x, y), in 1/256 steps of the source.
uint8_t Sample(int x, int y, int c, int width, int height)
{
    const std::vector<uint8_t>& src = SourceBgr();
    const int fx = x * (SOURCE_WIDTH - 1) * 256 / (width > 1 ? width - 1 : 1);
    const int fy = y * (SOURCE_HEIGHT - 1) * 256 / (height > 1 ? height - 1 : 1);
    const int x0 = fx >> 8, y0 = fy >> 8, wx = fx & 255, wy = fy & 255;
    const int x1 = x0 + (x0 + 1 < SOURCE_WIDTH), y1 = y0 + (y0 + 1 < SOURCE_HEIGHT);
    auto at = [&](int px, int py) { return int(src[(py * SOURCE_WIDTH + px) * 3 + c]); };
    const int top = at(x0, y0) * (256 - wx) + at(x1, y0) * wx;
    const int bottom = at(x0, y1) * (256 - wx) + at(x1, y1) * wx;
    return uint8_t((top * (256 - wy) + bottom * wy + 32768) >> 16);
}

uint8_t Clamp(int v)
{
    return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
}

}  // namespace

Picture ScaledPhoto(uint32_t pixelFormat, int width, int height, bool bottomUp)
{
    Picture picture{pixelFormat, width, height, bottomUp, {}};
    const size_t lineBytes = LineBytes(picture);
    picture.bytes.assign(lineBytes * height, 0);
    for (int y = 0; y < height; ++y) {
        const int row = bottomUp && pixelFormat != PIXEL_FORMAT_UYVY ? height - 1 - y : y;
        uint8_t* line = picture.bytes.data() + row * lineBytes;
        for (int x = 0; x < width; ++x) {
            const int b = Sample(x, y, 0, width, height), g = Sample(x, y, 1, width, height),
                      r = Sample(x, y, 2, width, height);
            if (pixelFormat == PIXEL_FORMAT_UYVY) {
                // Studio-range luma; Cb from even pixels and Cr from odd ones,
                // each at byte 2x of its macropixel.
                line[2 * x + 1] = Clamp(16 + (66 * r + 129 * g + 25 * b + 128) / 256);
                line[2 * x] = x % 2 ? Clamp(128 + (112 * r - 94 * g - 18 * b + 128) / 256)
                                    : Clamp(128 + (-38 * r - 74 * g + 112 * b + 128) / 256);
            } else {
                const int bpp = BytesPerPixel(pixelFormat);
                line[x * bpp] = uint8_t(b);
                line[x * bpp + 1] = uint8_t(g);
                line[x * bpp + 2] = uint8_t(r);
            }
        }
    }
    return picture;
}
