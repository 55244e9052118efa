// SPDX-License-Identifier: BSD-2-Clause
// Plain twin of the vector inverse transforms: 32-bit horizontal sums first,
// one lane at a time, then the 16-bit saturating vertical pass, one column at
// a time.
#include "transform/LaneOps.h"
// Written with the lane operations above, so it comes after them.
#include "transform/DctColumns.h"
#include "transform/TransformKernels.h"

namespace {

void InverseRow(int16_t* x, int row)
{
    const RowWeights& w = CLASS_WEIGHTS[ROW_CLASS[row]];
    const uint32_t rounder = uint32_t(INVERSE_ROUNDERS[row]);
    const int16_t even[4] = {x[0], x[2], x[4], x[6]};
    const int16_t odd[4] = {x[1], x[3], x[5], x[7]};
    for (int j = 0; j < 4; ++j) {
        const uint32_t a = MulAdd4(even, w.inverseEven[j]) + rounder;
        const uint32_t b = MulAdd4(odd, w.odd[j]);
        x[j] = ShiftSaturate16(a + b, INVERSE_SUM_SHIFT);
        x[7 - j] = ShiftSaturate16(a - b, INVERSE_SUM_SHIFT);
    }
}

// One column (stride 8) through the vertical pass.
void InverseColumn(int16_t* v)
{
    int16_t r[8];
    for (int y = 0; y < 8; ++y)
        r[y] = v[8 * y];
    InverseColumns(r);
    for (int y = 0; y < 8; ++y)
        v[8 * y] = r[y];
}

}  // namespace

void InverseDctPlain(Block* block)
{
    for (int y = 0; y < 8; ++y)
        InverseRow(block->v + 8 * y, y);
    for (int x = 0; x < 8; ++x)
        InverseColumn(block->v + x);
}
