// SPDX-License-Identifier: BSD-2-Clause
// The zigzag reorder and the two encoder tables, built once per instance so
// that coding a coefficient or a zero run is one indexed load.
#include "entropy/EntropyCode.h"

namespace {

// Magnitudes 512..2559 share one 22-bit class: ten ones, the sign, 11 bits.
constexpr uint32_t LONG_CLASS_BASE = 512;

struct ValueCode {
    uint32_t code;
    uint8_t length;
};

ValueCode ValueCodeOf(int v)
{
    if (v == 0)
        return {0, 2};  // [0 0]; never used by the encoder
    const uint32_t a = uint32_t(v < 0 ? -v : v);
    const uint32_t s = v < 0 ? 1u : 0u;
    if (a >= LONG_CLASS_BASE)
        return {0x3FFu + s * 0x400u + (a - LONG_CLASS_BASE) * 0x800u, 22};
    unsigned k = 1;  // class: a lies in 2^(k-1) .. 2^k - 1
    while (a >> k)
        ++k;
    const uint32_t code = ((1u << k) - 1) + (s << (k + 1)) + ((a - (1u << (k - 1))) << (k + 2));
    return {code, uint8_t(2 * k + 1)};
}

}  // namespace

void BuildValueCodes(EntropyTables* tables)
{
    for (int v = -VALUE_CODE_LIMIT; v <= VALUE_CODE_LIMIT; ++v) {
        const ValueCode value = ValueCodeOf(v);
        tables->valueCodes[v + VALUE_CODE_LIMIT] = value.code;
        tables->valueLengths[v + VALUE_CODE_LIMIT] = value.length;
    }
}

void BuildZeroRunCodes(EntropyTables* tables)
{
    for (unsigned index = 0; index < 256; ++index) {
        unsigned j = 0;  // lowest clear flag: the run is j + 1 zeros long
        while (j < 8 && (index >> j) & 1)
            ++j;
        uint8_t code;
        uint8_t length;
        if (j == 0) {
            code = 0, length = 2;  // [0 0]
        } else if (j == 1) {
            code = 0, length = 4;  // two zeros travel as [0 0] [0 0]
        } else {
            code = uint8_t(2 + ((j - 2) << 2));  // [0 1 r0 r1 r2], r = zeros - 3
            length = 5;
        }
        tables->zeroRunCodes[index][0] = code;
        tables->zeroRunCodes[index][1] = uint8_t(((j + 1) << 4) | length);
    }
    // Runs of nine, then one run code for 3..8 zeros or one or two [0 0].
    for (unsigned g = 0; g <= LONGEST_TABLED_GAP; ++g) {
        uint32_t code = 0;
        unsigned length = 0;
        for (unsigned left = g; left > 0;) {
            const unsigned run = left < 9 ? left : 9;
            if (run <= 2) {  // [0 0] per zero
                length += 2 * run;
            } else {  // [0 1 r0 r1 r2], r = zeros - 3
                code |= (2 + ((run - 3) << 2)) << length;
                length += 5;
            }
            left -= run;
        }
        tables->gapCodes[g] = code;
        tables->gapLengths[g] = uint8_t(length);
    }
}

void ZigzagReorder(const Block* natural, Block* scan)
{
    for (int k = 0; k < 64; ++k)
        scan->v[k] = natural->v[ZigzagOrder[k]];
}
