// SPDX-License-Identifier: BSD-2-Clause
// Plain conversions between BGR pixels and UYVY macropixels through the colour
// tables. Chroma is picked, not averaged: Cb from the even pixel of a pair, Cr
// from the odd one. EnsureColourTables must have run.
#pragma once

#include <cstdint>

// 12 bytes (four BGR24 pixels) -> 8 bytes (two macropixels Cb Y Cr Y).
void ConvertBGR24ToUYVY4(const uint8_t* bgr, uint8_t* uyvy);
// 16 bytes (four BGR32 pixels, the fourth byte ignored) -> 8 bytes.
void ConvertBGR32ToUYVY4(const uint8_t* bgrx, uint8_t* uyvy);
// One macropixel (4 bytes) -> B G R of the left pixel, then of the right.
void ConvertUYVYToBGR24Pair(const uint8_t* uyvy, uint8_t* bgr);
// One macropixel -> B G R 0 of the left pixel, then of the right.
void ConvertUYVYToBGR32Pair(const uint8_t* uyvy, uint8_t* bgrx);
