// Quantiser step sizes by quality: the example tables of ITU-T T.81 Annex K
// scaled by (100 - q) / 25, and their reciprocals.
#pragma once

#include <cstdint>

struct CodecInstance;

extern const int16_t LUMA_BASE_TABLE[64];
extern const int16_t CHROMA_BASE_TABLE[64];

// Stores q and rebuilds the four tables of the instance, unless q is already
// the instance's quality. Any q is applied as it is (the decoder passes the
// frame's quality byte).
void SetQuality(CodecInstance* instance, int32_t q);
