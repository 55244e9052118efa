// SPDX-License-Identifier: BSD-2-Clause
#include "pixels/RgbConvert.h"
#include "pixels/Staging.h"

// A macroblock line is 16 pixels: four quads forward, eight pairs backward.
namespace {

void BGR24LineToUyvy(const uint8_t* line, uint8_t* uyvy)
{
    for (int quad = 0; quad < 4; ++quad)
        ConvertBGR24ToUYVY4(line + 12 * quad, uyvy + 8 * quad);
}

void BGR32LineToUyvy(const uint8_t* line, uint8_t* uyvy)
{
    for (int quad = 0; quad < 4; ++quad)
        ConvertBGR32ToUYVY4(line + 16 * quad, uyvy + 8 * quad);
}

void UyvyToBGR24Line(const uint8_t* uyvy, uint8_t* line)
{
    for (int pair = 0; pair < 8; ++pair)
        ConvertUYVYToBGR24Pair(uyvy + 4 * pair, line + 6 * pair);
}

void UyvyToBGR32Line(const uint8_t* uyvy, uint8_t* line)
{
    for (int pair = 0; pair < 8; ++pair)
        ConvertUYVYToBGR32Pair(uyvy + 4 * pair, line + 8 * pair);
}

}  // namespace

void LoadBGR24Macroblock(const StagingMasks*, const uint8_t* source, ptrdiff_t stride,
                         MacroblockBuffer* buffer)
{
    LoadRowsPlain(source, stride, buffer, MACROBLOCK_LINES, BGR24LineToUyvy);
}

void LoadBGR24MacroblockPartial(const StagingMasks*, const uint8_t* source, ptrdiff_t stride,
                                MacroblockBuffer* buffer, int lines)
{
    LoadRowsPlain(source, stride, buffer, lines, BGR24LineToUyvy);
}

void LoadBGR32Macroblock(const StagingMasks*, const uint8_t* source, ptrdiff_t stride,
                         MacroblockBuffer* buffer)
{
    LoadRowsPlain(source, stride, buffer, MACROBLOCK_LINES, BGR32LineToUyvy);
}

void LoadBGR32MacroblockPartial(const StagingMasks*, const uint8_t* source, ptrdiff_t stride,
                                MacroblockBuffer* buffer, int lines)
{
    LoadRowsPlain(source, stride, buffer, lines, BGR32LineToUyvy);
}

void StoreBGR24Macroblock(const MacroblockBuffer* buffer, uint8_t* destination, ptrdiff_t stride)
{
    StoreRowsPlain(buffer, destination, stride, MACROBLOCK_LINES, UyvyToBGR24Line);
}

void StoreBGR24MacroblockPartial(const MacroblockBuffer* buffer, uint8_t* destination,
                                 ptrdiff_t stride, int lines)
{
    StoreRowsPlain(buffer, destination, stride, lines, UyvyToBGR24Line);
}

void StoreBGR32Macroblock(const MacroblockBuffer* buffer, uint8_t* destination, ptrdiff_t stride)
{
    StoreRowsPlain(buffer, destination, stride, MACROBLOCK_LINES, UyvyToBGR32Line);
}

void StoreBGR32MacroblockPartial(const MacroblockBuffer* buffer, uint8_t* destination,
                                 ptrdiff_t stride, int lines)
{
    StoreRowsPlain(buffer, destination, stride, lines, UyvyToBGR32Line);
}
