// SPDX-License-Identifier: BSD-2-Clause
// Plain twin of the vector forward transforms: the same 16-bit saturating
// vertical pass, one column at a time, and 32-bit horizontal sums, one lane at
// a time.
#include "transform/LaneOps.h"
// Written with the lane operations above, so it comes after them.
#include "transform/DctColumns.h"
#include "transform/TransformKernels.h"

namespace {

// One column (stride 8) through the vertical pass.
void ForwardColumn(int16_t* v)
{
    int16_t r[8];
    for (int y = 0; y < 8; ++y)
        r[y] = v[8 * y];
    ForwardColumns(r);
    for (int y = 0; y < 8; ++y)
        v[8 * y] = r[y];
}

int16_t FinishForward(uint32_t sum, int16_t rounder)
{
    return int16_t(AddSat16(ShiftSaturate16(sum, FORWARD_SUM_SHIFT), rounder) >> FORWARD_FINAL_SHIFT);
}

void ForwardRow(int16_t* x, int row)
{
    const RowWeights& w = CLASS_WEIGHTS[ROW_CLASS[row]];
    const int16_t* rounders = FORWARD_ROUNDERS[row];
    int16_t s[4], d[4];
    for (int i = 0; i < 4; ++i) {
        s[i] = AddSat16(x[i], x[7 - i]);
        d[i] = SubSat16(x[i], x[7 - i]);
    }
    for (int j = 0; j < 4; ++j) {
        x[2 * j] = FinishForward(MulAdd4(s, w.forwardEven[j]), rounders[2 * j]);
        x[2 * j + 1] = FinishForward(MulAdd4(d, w.odd[j]), rounders[2 * j + 1]);
    }
}

}  // namespace

void ForwardDctPlain(Block* block)
{
    for (int x = 0; x < 8; ++x)
        ForwardColumn(block->v + x);
    for (int y = 0; y < 8; ++y)
        ForwardRow(block->v + 8 * y, y);
}
