// SPDX-License-Identifier: BSD-2-Clause
// The vertical passes of both transforms, written once for every lane type:
// one int16_t in the plain twins, a vector of 16-bit lanes in the kernels. V
// needs AddSat16, SubSat16, MulHi16, OrOne, ShiftLeft16 and ShiftRight16 with
// the behaviour of LaneOps.h, declared before this header is included
// (neither type has a namespace in which lookup could find them later).
#pragma once

#include "transform/DctConstants.h"

// Internal to each file that includes it: the instruction set differs from
// file to file, and no copy may stand in for another at link time.
namespace {

// Rows r[0..7] of samples become rows of vertically transformed values.
template <typename V>
void ForwardColumns(V* r)
{
    const V s07 = AddSat16(r[0], r[7]), d07 = SubSat16(r[0], r[7]);
    const V s16 = AddSat16(r[1], r[6]), d16 = SubSat16(r[1], r[6]);
    const V s25 = AddSat16(r[2], r[5]), d25 = SubSat16(r[2], r[5]);
    const V s34 = AddSat16(r[3], r[4]), d34 = SubSat16(r[3], r[4]);

    const V e3 = SubSat16(s07, s34);
    const V e2 = SubSat16(s16, s25);
    const V e0 = AddSat16(AddSat16(s34, s34), e3);
    const V e1 = AddSat16(AddSat16(s25, s25), e2);

    const V D16 = ShiftLeft16(d16, FORWARD_PRESCALE_ODD);
    const V D25 = ShiftLeft16(d25, FORWARD_PRESCALE_ODD);
    const V E0 = ShiftLeft16(e0, FORWARD_PRESCALE);
    const V E1 = ShiftLeft16(e1, FORWARD_PRESCALE);
    const V E2 = ShiftLeft16(e2, FORWARD_PRESCALE);
    const V E3 = ShiftLeft16(e3, FORWARD_PRESCALE);
    const V D07 = ShiftLeft16(d07, FORWARD_PRESCALE);
    const V D34 = ShiftLeft16(d34, FORWARD_PRESCALE);

    const V E01 = SubSat16(E0, E1);
    r[4] = E01;
    r[0] = AddSat16(AddSat16(E1, E1), E01);
    r[2] = OrOne(AddSat16(MulHi16(E2, K2), E3));
    r[6] = OrOne(SubSat16(MulHi16(E3, K2), E2));

    const V m = SubSat16(D16, D25);
    const V p = AddSat16(AddSat16(D25, D25), m);
    const V P = OrOne(MulHi16(p, K4));
    const V Q = MulHi16(m, K4);

    const V f = SubSat16(D34, Q);
    const V g = SubSat16(D07, P);
    const V h = AddSat16(P, D07);
    const V k = AddSat16(Q, D34);

    r[1] = AddSat16(MulHi16(k, K1), h);
    r[7] = SubSat16(MulHi16(h, K1), k);
    r[3] = SubSat16(g, AddSat16(MulHi16(f, K3), f));
    r[5] = AddSat16(f, AddSat16(MulHi16(g, K3), g));
}

// Saturating butterfly of the last inverse step: top = (a + b) >> 6,
// bottom = (a - b) >> 6.
template <typename V>
void InverseOutputs(V a, V b, V* top, V* bottom)
{
    *top = ShiftRight16(AddSat16(a, b), INVERSE_FINAL_SHIFT);
    *bottom = ShiftRight16(SubSat16(a, b), INVERSE_FINAL_SHIFT);
}

// Rows r[0..7] after the horizontal inverse pass become rows of samples.
// Inlined even where a kernel has several callers, so that the rows stay in
// registers.
template <typename V>
[[gnu::always_inline]] inline void InverseColumns(V* r)
{
    const V tp04 = AddSat16(r[0], r[4]);
    const V tm04 = SubSat16(r[0], r[4]);
    const V tp26 = AddSat16(r[2], MulHi16(r[6], K2));
    const V tm26 = SubSat16(MulHi16(r[2], K2), r[6]);

    const V a0 = AddSat16(tp04, tp26);
    const V a3 = SubSat16(tp04, tp26);
    const V a1 = AddSat16(tm04, tm26);
    const V a2 = SubSat16(tm04, tm26);

    const V tp17 = AddSat16(r[1], MulHi16(r[7], K1));
    const V tm17 = SubSat16(MulHi16(r[1], K1), r[7]);
    const V tp35 = AddSat16(AddSat16(MulHi16(r[5], K3), r[5]), r[3]);
    const V tm35 = SubSat16(AddSat16(MulHi16(r[3], K3), r[3]), r[5]);

    const V b0 = AddSat16(tp17, tp35);
    const V b3 = SubSat16(tm17, tm35);
    const V t1 = SubSat16(tp17, tp35);
    const V t2 = AddSat16(tm17, tm35);
    const V M = MulHi16(AddSat16(t1, t2), K4);
    const V N = MulHi16(SubSat16(t1, t2), K4);
    const V b1 = AddSat16(M, M);
    const V b2 = AddSat16(N, N);

    InverseOutputs(a0, b0, &r[0], &r[7]);
    InverseOutputs(a1, b1, &r[1], &r[6]);
    InverseOutputs(a2, b2, &r[2], &r[5]);
    InverseOutputs(a3, b3, &r[3], &r[4]);
}

}  // namespace
