// SPDX-License-Identifier: BSD-2-Clause
// The horizontal passes of both transforms and the quantiser steps that go
// with them, written once for the vector kernels: a vector holds one row of
// eight 16-bit values (or one row of each of two blocks, treated alike). The
// operations come from DctSse2Ops.h or DctAvx2Ops.h, included first.
// ForwardDct.cpp and InverseDct.cpp are the plain twins: the 32-bit sums wrap
// alike whatever the order of their terms.
#pragma once

#include "transform/DctLanes.h"

// Internal to each file that includes it: the instruction set differs from
// file to file, and no copy may stand in for another at link time.
namespace {

// The forward sums of one row as 32-bit lanes: X0..X3 in `low`, X4..X7 in
// `high`.
template <typename V>
void ForwardSums(V x, int row, V* low, V* high)
{
    const ForwardMadd& w = FORWARD_MADD[ROW_CLASS[row]];
    const V reversed = Reversed(x);
    // 32-bit lanes (s0 s1) (d0 d1) (s2 s3) (d2 d3), then with halves swapped.
    const V sd = InterleavePairs(AddSat16(x, reversed), SubSat16(x, reversed));
    const V ds = Shuffle32<0x4E>(sd);
    *low = Add32(MulAdd(sd, w.w[0][0]), MulAdd(ds, w.w[0][1]));
    *high = Add32(MulAdd(sd, w.w[1][0]), MulAdd(ds, w.w[1][1]));
}

// sat16(sat16(X >> 16) + R) >> 4, still in 32-bit lanes: X >> 16 always fits
// 16 bits, and the rounders sit in the top halves (see HighRounders).
template <typename V>
V FinishForward(V sums, const LaneRow32& highRounders)
{
    return ShiftRight32(AddSat16(sums, highRounders), FORWARD_SUM_SHIFT + FORWARD_FINAL_SHIFT);
}

template <typename V>
V ForwardRow(V x, int row)
{
    V low, high;
    ForwardSums(x, row, &low, &high);
    const LaneRow32* rounders = FORWARD_HIGH_ROUNDERS.r[row];
    return Pack32(FinishForward(low, rounders[0]), FinishForward(high, rounders[1]));
}

// The row's coefficients go to the quantiser before they are packed to 16 bits.
template <typename V>
V ForwardRowQuantized(V x, int row, const float* reciprocals)
{
    V low, high;
    ForwardSums(x, row, &low, &high);
    const LaneRow32* rounders = FORWARD_HIGH_ROUNDERS.r[row];
    const float* table = reciprocals + 8 * row;
    return Pack32(ScaleLanes(FinishForward(low, rounders[0]), table),
                  ScaleLanes(FinishForward(high, rounders[1]), table + 4));
}

// One row of coefficients, X0..X7, to four 32-bit sums a0..a3 ± b0..b3,
// shifted and packed: positions 0..3 from a + b, 7..4 from a - b.
template <typename V>
V InverseRow(V x, int row)
{
    const InverseMadd& w = INVERSE_MADD[row];
    V e02, e46, o13, o57;  // each pair of inputs in every 32-bit lane
    SpreadInversePairs(x, &e02, &e46, &o13, &o57);
    const V a = Add32(Add32(MulAdd(e02, w.even.half[0]), MulAdd(e46, w.even.half[1])), w.rounder);
    const V b = Add32(MulAdd(o13, w.odd.half[0]), MulAdd(o57, w.odd.half[1]));
    const V top = ShiftRight32(Add32(a, b), INVERSE_SUM_SHIFT);
    const V bottom = ShiftRight32(Sub32(a, b), INVERSE_SUM_SHIFT);
    return Shuffle16High<_MM_SHUFFLE(0, 1, 2, 3)>(Pack32(top, bottom));
}

}  // namespace
