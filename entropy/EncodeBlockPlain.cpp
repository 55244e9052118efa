// SPDX-License-Identifier: BSD-2-Clause
// The block encoder written code by code with PutBits: the reference the fast
// encoders must match bit for bit, and the path taken when the writer is close
// to its capacity (PutBits then records the overflow).
#include "entropy/EntropyInternal.h"

void EncodeBlockPlain(const Block* scan, const EntropyTables* tables, BitWriter* writer)
{
    const int16_t* c = scan->v;
    int n = 64;  // one past the last non-zero coefficient; zeros after it are never coded
    while (n > 0 && c[n - 1] == 0)
        --n;

    PutBits(writer, ClampDc(c[0]), 12);
    int t = 1;
    while (t < n) {
        if (c[t] != 0) {
            const int v = ClampAc(c[t]) + VALUE_CODE_LIMIT;
            PutBits(writer, tables->valueCodes[v], tables->valueLengths[v]);
            ++t;
        } else {
            // Flags past position 63 count as not zero; the run cannot reach
            // them anyway, since coefficient n - 1 is non-zero.
            unsigned flags = 0;
            for (int j = 0; j < 8 && t + 1 + j < 64; ++j)
                flags |= unsigned(c[t + 1 + j] == 0) << j;
            const uint8_t* run = tables->zeroRunCodes[flags];
            PutBits(writer, run[0], run[1] & ZERO_RUN_LENGTH_MASK);
            t += run[1] >> ZERO_RUN_COUNT_SHIFT;
        }
    }
    PutBits(writer, END_OF_BLOCK_CODE, END_OF_BLOCK_BITS);
}

void EncodeNaturalBlockPlain(const Block* natural, const EntropyTables* tables, BitWriter* writer)
{
    Block scan;
    ZigzagReorder(natural, &scan);
    EncodeBlockPlain(&scan, tables, writer);
}

void EncodeNaturalBlocksPlain(const Block* blocks, int count, const EntropyTables* tables, BitWriter* writer)
{
    for (int k = 0; k < count; ++k)
        EncodeNaturalBlockPlain(&blocks[k], tables, writer);
}
