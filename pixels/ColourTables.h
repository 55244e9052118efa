// Process-wide lookup tables for the integer BGR <-> Y'CbCr conversion. Each
// entry is one colour component's contribution to four 16-bit lanes, so a pixel
// costs a few 64-bit lookups and lane-wise additions.
#pragma once

#include <cstdint>

constexpr int COLOUR_LANES = 4;
using ColourTable = int16_t[256][COLOUR_LANES];

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
