// Plain twin of InverseDctSse2: 32-bit horizontal sums first, then the 16-bit
// saturating vertical pass, one lane at a time.
#include "transform/DctConstants.h"
#include "transform/LaneOps.h"
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

// Saturating butterfly of the last step: top = (a + b) >> 6, bottom = (a - b) >> 6.
void InverseOutputs(int16_t a, int16_t b, int16_t* top, int16_t* bottom)
{
    *top = int16_t(AddSat16(a, b) >> INVERSE_FINAL_SHIFT);
    *bottom = int16_t(SubSat16(a, b) >> INVERSE_FINAL_SHIFT);
}

// One column (stride 8) through the vertical pass.
void InverseColumn(int16_t* v)
{
    int16_t r[8];
    for (int y = 0; y < 8; ++y)
        r[y] = v[8 * y];

    const int16_t tp04 = AddSat16(r[0], r[4]);
    const int16_t tm04 = SubSat16(r[0], r[4]);
    const int16_t tp26 = AddSat16(r[2], MulHi16(r[6], K2));
    const int16_t tm26 = SubSat16(MulHi16(r[2], K2), r[6]);

    const int16_t a0 = AddSat16(tp04, tp26);
    const int16_t a3 = SubSat16(tp04, tp26);
    const int16_t a1 = AddSat16(tm04, tm26);
    const int16_t a2 = SubSat16(tm04, tm26);

    const int16_t tp17 = AddSat16(r[1], MulHi16(r[7], K1));
    const int16_t tm17 = SubSat16(MulHi16(r[1], K1), r[7]);
    const int16_t tp35 = AddSat16(AddSat16(MulHi16(r[5], K3), r[5]), r[3]);
    const int16_t tm35 = SubSat16(AddSat16(MulHi16(r[3], K3), r[3]), r[5]);

    const int16_t b0 = AddSat16(tp17, tp35);
    const int16_t b3 = SubSat16(tm17, tm35);
    const int16_t t1 = SubSat16(tp17, tp35);
    const int16_t t2 = AddSat16(tm17, tm35);
    const int16_t M = MulHi16(AddSat16(t1, t2), K4);
    const int16_t N = MulHi16(SubSat16(t1, t2), K4);
    const int16_t b1 = AddSat16(M, M);
    const int16_t b2 = AddSat16(N, N);

    InverseOutputs(a0, b0, &v[8 * 0], &v[8 * 7]);
    InverseOutputs(a1, b1, &v[8 * 1], &v[8 * 6]);
    InverseOutputs(a2, b2, &v[8 * 2], &v[8 * 5]);
    InverseOutputs(a3, b3, &v[8 * 3], &v[8 * 4]);
}

}  // namespace

void InverseDctPlain(Block* block)
{
    for (int y = 0; y < 8; ++y)
        InverseRow(block->v + 8 * y, y);
    for (int x = 0; x < 8; ++x)
        InverseColumn(block->v + x);
}
