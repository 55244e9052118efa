// Plain twin of ForwardDctSse2: the same 16-bit saturating vertical pass and
// 32-bit horizontal sums, one lane at a time.
#include "transform/DctConstants.h"
#include "transform/LaneOps.h"
#include "transform/TransformKernels.h"

namespace {

// One column (stride 8) through the vertical pass.
void ForwardColumn(int16_t* v)
{
    int16_t r[8];
    for (int y = 0; y < 8; ++y)
        r[y] = v[8 * y];

    const int16_t s07 = AddSat16(r[0], r[7]), d07 = SubSat16(r[0], r[7]);
    const int16_t s16 = AddSat16(r[1], r[6]), d16 = SubSat16(r[1], r[6]);
    const int16_t s25 = AddSat16(r[2], r[5]), d25 = SubSat16(r[2], r[5]);
    const int16_t s34 = AddSat16(r[3], r[4]), d34 = SubSat16(r[3], r[4]);

    const int16_t e3 = SubSat16(s07, s34);
    const int16_t e2 = SubSat16(s16, s25);
    const int16_t e0 = AddSat16(AddSat16(s34, s34), e3);
    const int16_t e1 = AddSat16(AddSat16(s25, s25), e2);

    const int16_t D16 = ShiftLeft16(d16, FORWARD_PRESCALE_ODD);
    const int16_t D25 = ShiftLeft16(d25, FORWARD_PRESCALE_ODD);
    const int16_t E0 = ShiftLeft16(e0, FORWARD_PRESCALE);
    const int16_t E1 = ShiftLeft16(e1, FORWARD_PRESCALE);
    const int16_t E2 = ShiftLeft16(e2, FORWARD_PRESCALE);
    const int16_t E3 = ShiftLeft16(e3, FORWARD_PRESCALE);
    const int16_t D07 = ShiftLeft16(d07, FORWARD_PRESCALE);
    const int16_t D34 = ShiftLeft16(d34, FORWARD_PRESCALE);

    const int16_t E01 = SubSat16(E0, E1);
    v[8 * 4] = E01;
    v[8 * 0] = AddSat16(AddSat16(E1, E1), E01);
    v[8 * 2] = int16_t(AddSat16(MulHi16(E2, K2), E3) | 1);
    v[8 * 6] = int16_t(SubSat16(MulHi16(E3, K2), E2) | 1);

    const int16_t m = SubSat16(D16, D25);
    const int16_t p = AddSat16(AddSat16(D25, D25), m);
    const int16_t P = int16_t(MulHi16(p, K4) | 1);
    const int16_t Q = MulHi16(m, K4);

    const int16_t f = SubSat16(D34, Q);
    const int16_t g = SubSat16(D07, P);
    const int16_t h = AddSat16(P, D07);
    const int16_t k = AddSat16(Q, D34);

    v[8 * 1] = AddSat16(MulHi16(k, K1), h);
    v[8 * 7] = SubSat16(MulHi16(h, K1), k);
    v[8 * 3] = SubSat16(g, AddSat16(MulHi16(f, K3), f));
    v[8 * 5] = AddSat16(f, AddSat16(MulHi16(g, K3), g));
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
