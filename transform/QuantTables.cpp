// SPDX-License-Identifier: BSD-2-Clause
#include "transform/QuantTables.h"

// ITU-T T.81 Annex K, tables K.1 and K.2, natural order.
const int16_t LUMA_BASE_TABLE[64] = {
    16, 11, 10, 16, 24,  40,  51,  61,   //
    12, 12, 14, 19, 26,  58,  60,  55,   //
    14, 13, 16, 24, 40,  57,  69,  56,   //
    14, 17, 22, 29, 51,  87,  80,  62,   //
    18, 22, 37, 56, 68,  109, 103, 77,   //
    24, 35, 55, 64, 81,  104, 113, 92,   //
    49, 64, 78, 87, 103, 121, 120, 101,  //
    72, 92, 95, 98, 112, 100, 103, 99,
};

const int16_t CHROMA_BASE_TABLE[64] = {
    17, 18, 24, 47, 99, 99, 99, 99,  //
    18, 21, 26, 66, 99, 99, 99, 99,  //
    24, 26, 56, 99, 99, 99, 99, 99,  //
    47, 66, 99, 99, 99, 99, 99, 99,  //
    99, 99, 99, 99, 99, 99, 99, 99,  //
    99, 99, 99, 99, 99, 99, 99, 99,  //
    99, 99, 99, 99, 99, 99, 99, 99,  //
    99, 99, 99, 99, 99, 99, 99, 99,
};

// Single precision throughout: the decoder must rebuild exactly the encoder's
// steps. No clamping: quality 100 gives zero steps and infinite reciprocals.
void BuildQuantTables(const int16_t* base, int32_t q, float* scales, float* reciprocals)
{
    // 64-bit so that no int32 q can overflow; the values callers pass (0..255)
    // give the same factor as 32-bit arithmetic.
    const float factor = float((100 - int64_t(q)) * 2);
    for (int i = 0; i < 64; ++i) {
        scales[i] = float(base[i]) * factor / 50.0f;
        reciprocals[i] = 1.0f / scales[i];
    }
}
