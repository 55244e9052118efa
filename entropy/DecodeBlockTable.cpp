// SPDX-License-Identifier: BSD-2-Clause
// Builds the fast decoder's table at compile time: for every 11-bit window,
// the codes at its front as DecodeEntry describes them.
#include "entropy/DecodeBlockTable.h"

namespace {

constexpr unsigned INDEX_BITS = DECODE_INDEX_BITS;
constexpr unsigned LONGEST_CLASS = 10;
constexpr unsigned READY_VALUES = 2;

constexpr unsigned TrailingOnes(unsigned x, unsigned limit)
{
    unsigned k = 0;
    while (k < limit && (x >> k & 1))
        ++k;
    return k;
}

constexpr DecodeEntry Entry(unsigned x)
{
    DecodeEntry e{};
    unsigned used = 0;     // bits
    unsigned covered = 0;  // scan positions
    unsigned ready = 0;    // values taken into the entry
    bool computed = false;
    bool ended = false;
    while (!computed && !ended && INDEX_BITS - used >= 2) {
        const unsigned left = INDEX_BITS - used;
        const unsigned y = x >> used;
        if (!(y & 1)) {
            if (!(y & 2)) {  // [0 0]
                used += 2;
                covered += 1;
            } else {  // [0 1 r0 r1 r2]
                if (left < 5)
                    break;
                const unsigned r = y >> 2 & 7;
                used += 5;
                if (r == 7)
                    ended = true;
                else
                    covered += r + 3;
            }
            continue;
        }
        // A value of class k: 1^k 0 s m(k - 1 bits), or 1^10 s e(11 bits).
        const unsigned k = TrailingOnes(y, LONGEST_CLASS);
        if (k < LONGEST_CLASS && k + 1 > left)
            break;  // the class itself is cut off
        const unsigned sign = used + (k < LONGEST_CLASS ? k + 1 : LONGEST_CLASS);
        const unsigned mantissaBits = k < LONGEST_CLASS ? k - 1 : 11;
        const unsigned length = sign + 1 + mantissaBits - used;
        if (length <= left && ready < READY_VALUES) {
            const int magnitude = int((1u << (k - 1)) + (x >> (sign + 1) & ((1u << mantissaBits) - 1)));
            const int8_t value = int8_t(x >> sign & 1 ? -magnitude : magnitude);
            if (ready++ == 0)
                e.offsetB = uint8_t(covered), e.valueB = value;
            else
                e.offsetC = uint8_t(covered), e.valueC = value;
        } else {
            e.offsetA = uint8_t(covered);
            e.shape = uint8_t((1 + mantissaBits) << 4 | sign);
            computed = true;
        }
        used += length;
        covered += 1;
    }
    // Unused ready values store 0 at the first position after the entry.
    if (ready < 1)
        e.offsetB = uint8_t(covered);
    if (ready < 2)
        e.offsetC = uint8_t(covered);
    if (!computed)
        e.offsetA = e.offsetC;
    e.length = uint8_t(used);
    e.advance = uint8_t(covered + (ended ? END_OF_BLOCK_ADVANCE : 0));
    return e;
}

constexpr void BuildEntries(DecodeTables* tables)
{
    for (unsigned x = 0; x < (1u << INDEX_BITS); ++x)
        tables->entries[x] = Entry(x);
}

constexpr void BuildValues(DecodeTables* tables)
{
    for (unsigned k = 1; k <= LONGEST_CLASS; ++k) {
        const unsigned n = k < LONGEST_CLASS ? k : LONGEST_VALUE_BITS;
        const unsigned smallest = k < LONGEST_CLASS ? 1u << (k - 1) : 512;
        for (unsigned x = 0; x < (1u << n); ++x) {
            const int magnitude = int(smallest + (x >> 1));
            tables->values[(1u << n) + x] = int16_t(x & 1 ? -magnitude : magnitude);
        }
    }
}

}  // namespace

constinit const DecodeTables DECODE_TABLES = [] {
    DecodeTables tables{};
    BuildEntries(&tables);
    for (int k = 0; k < 64; ++k)
        tables.zigzag[k] = ZigzagOrder[k];
    BuildValues(&tables);
    return tables;
}();
