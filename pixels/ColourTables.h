// SPDX-License-Identifier: BSD-2-Clause
// Process-wide lookup tables for the integer BGR <-> Y'CbCr conversion. Each
// entry is one colour component's contribution to four 16-bit lanes, so a pixel
// costs a few 64-bit lookups and lane-wise additions.
#pragma once

#include <cstdint>

constexpr int COLOUR_LANES = 4;
using ColourTable = int16_t[256][COLOUR_LANES];

// Lane value for index i: bias + floor(coefficient * (i - origin) / 256).
// BT.601 studio range scaled by 256; the rounding of -37, -73, -93, -17
// (forward) and 99, 207, 517 (reverse) is part of the format. The wide
// kernels compute these values instead of looking them up.
struct LaneRule {
    int32_t coefficient;
    int32_t origin;
    int32_t bias;
};

enum : int { YCC_FROM_R, YCC_FROM_G, YCC_FROM_B, BGR_FROM_Y, BGR_FROM_CB, BGR_FROM_CR };
enum : int { LANE_CB = 0, LANE_Y = 1, LANE_CR = 2 };           // forward tables
enum : int { LANE_BLUE = 0, LANE_GREEN = 1, LANE_RED = 2 };  // reverse tables

inline constexpr LaneRule COLOUR_RULES[6][COLOUR_LANES] = {
    {{-37, 0, 128}, {66, 0, 16}, {112, 0, 128}, {66, 0, 16}},  // YCC_FROM_R
    {{-73, 0, 0}, {129, 0, 0}, {-93, 0, 0}, {129, 0, 0}},      // YCC_FROM_G
    {{112, 0, 0}, {25, 0, 0}, {-17, 0, 0}, {25, 0, 0}},        // YCC_FROM_B
    {{298, 16, 0}, {298, 16, 0}, {298, 16, 0}, {0, 0, 0}},     // BGR_FROM_Y
    {{517, 128, 0}, {-99, 128, 0}, {0, 0, 0}, {0, 0, 0}},      // BGR_FROM_CB
    {{0, 0, 0}, {-207, 128, 0}, {409, 128, 0}, {0, 0, 0}},     // BGR_FROM_CR
};

// Forward tables have the lanes (Cb, Y, Cr, Y), with the offsets 128, 16, 128
// folded into the red table; reverse tables have the lanes (B, G, R, 0).
struct alignas(16) ColourTables {
    ColourTable yccFromR;
    ColourTable yccFromG;
    ColourTable yccFromB;
    ColourTable bgrFromY;
    ColourTable bgrFromCb;
    ColourTable bgrFromCr;
};

// Builds the tables on the first call in the process; concurrent first calls
// are safe and all return with the tables complete. Cheap afterwards.
void EnsureColourTables();

// The tables, read only, built first if need be.
const ColourTables* GetColourTables();
