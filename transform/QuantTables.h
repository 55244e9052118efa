// SPDX-License-Identifier: BSD-2-Clause
// Quantiser step sizes by quality: the example tables of ITU-T T.81 Annex K
// scaled by (100 - q) / 25, and their reciprocals.
#pragma once

#include <cstdint>

extern const int16_t LUMA_BASE_TABLE[64];
extern const int16_t CHROMA_BASE_TABLE[64];

// Fills the 64 steps and their reciprocals, natural order, of one base table
// at quality q. Any q is applied as it is (the decoder passes the frame's
// quality byte).
void BuildQuantTables(const int16_t* base, int32_t q, float* scales, float* reciprocals);
