// SPDX-License-Identifier: BSD-2-Clause
// The constants of the transforms laid out for the vector kernels. Each row
// of a constant is one 128-bit vector stored twice: a 256-bit vector, which
// holds a row of two blocks, takes both copies with one aligned load, and a
// 128-bit vector reads the first.
#pragma once

#include <cstdint>

#include "transform/DctConstants.h"

struct alignas(32) LaneRow16 {
    int16_t v[2][8];
};

struct alignas(32) LaneRow32 {
    int32_t v[2][4];
};

constexpr LaneRow16 Twice(const int16_t (&lanes)[8])
{
    LaneRow16 row{};
    for (int i = 0; i < 8; ++i)
        row.v[0][i] = row.v[1][i] = lanes[i];
    return row;
}

constexpr LaneRow32 Twice(const int32_t (&lanes)[4])
{
    LaneRow32 row{};
    for (int i = 0; i < 4; ++i)
        row.v[0][i] = row.v[1][i] = lanes[i];
    return row;
}

// pmaddwd operands of the forward pass of one row class. The row's sums and
// differences come in two orders of 32-bit lanes: operand 0 is (s0 s1) (d0 d1)
// (s2 s3) (d2 d3), operand 1 the same with its halves swapped. `w[h][q]` holds
// the weights for operand q, lanes 2j and 2j + 1 for output 4h + j: even
// outputs meet sums and odd ones differences, and the two operands together
// bring all four inputs to every output.
struct ForwardMadd {
    LaneRow16 w[2][2];
};

constexpr ForwardMadd MakeForwardMadd(const RowWeights& weights)
{
    ForwardMadd m{};
    for (int h = 0; h < 2; ++h) {
        for (int q = 0; q < 2; ++q) {
            int16_t lanes[8] = {};
            for (int j = 0; j < 4; ++j) {
                const int k = 4 * h + j;
                const int pair = (j / 2) ^ q;
                const int16_t* row = k % 2 ? weights.odd[k / 2] : weights.forwardEven[k / 2];
                lanes[2 * j] = row[2 * pair];
                lanes[2 * j + 1] = row[2 * pair + 1];
            }
            m.w[h][q] = Twice(lanes);
        }
    }
    return m;
}

// pmaddwd operands for one 4x4 matrix of the inverse pass: half h holds, for
// output j, the weights of inputs 2h and 2h + 1 in lanes 2j and 2j + 1.
// Multiplied with those two inputs repeated in every lane pair, the two halves
// summed give the four outputs as 32-bit lanes.
struct MaddWeights {
    LaneRow16 half[2];
};

constexpr MaddWeights InterleaveWeights(const int16_t m[4][4])
{
    MaddWeights w{};
    for (int h = 0; h < 2; ++h) {
        int16_t lanes[8] = {};
        for (int j = 0; j < 4; ++j) {
            lanes[2 * j] = m[j][2 * h];
            lanes[2 * j + 1] = m[j][2 * h + 1];
        }
        w.half[h] = Twice(lanes);
    }
    return w;
}

struct InverseMadd {
    MaddWeights even;   // a0..a3 from X0, X2, X4, X6
    MaddWeights odd;    // b0..b3 from X1, X3, X5, X7
    LaneRow32 rounder;  // the row's rounder in every lane
};

constexpr InverseMadd MakeInverseMadd(const RowWeights& w, int32_t rounder)
{
    const int32_t lanes[4] = {rounder, rounder, rounder, rounder};
    return {InterleaveWeights(w.inverseEven), InterleaveWeights(w.odd), Twice(lanes)};
}

// Per row, since the inverse rounders differ between rows of one class.
constexpr InverseMadd MakeInverseRowMadd(int row)
{
    return MakeInverseMadd(CLASS_WEIGHTS[ROW_CLASS[row]], INVERSE_ROUNDERS[row]);
}

// The forward rounders for rows kept in 32-bit lanes, outputs 4h..4h + 3 in
// `r[y][h]`: each in the top half of its lane, where a saturating 16-bit
// addition adds it to the top half of a sum with the saturation of the plain
// twin and leaves the bottom half alone.
struct HighRounders {
    LaneRow32 r[8][2];
};

constexpr HighRounders MakeHighRounders()
{
    HighRounders h{};
    for (int y = 0; y < 8; ++y) {
        for (int half = 0; half < 2; ++half) {
            int32_t lanes[4] = {};
            for (int j = 0; j < 4; ++j)
                lanes[j] = FORWARD_ROUNDERS[y][4 * half + j] * 65536;
            h.r[y][half] = Twice(lanes);
        }
    }
    return h;
}

constexpr ForwardMadd FORWARD_MADD[4] = {MakeForwardMadd(CLASS_WEIGHTS[0]), MakeForwardMadd(CLASS_WEIGHTS[1]),
                                         MakeForwardMadd(CLASS_WEIGHTS[2]), MakeForwardMadd(CLASS_WEIGHTS[3])};
constexpr InverseMadd INVERSE_MADD[8] = {MakeInverseRowMadd(0), MakeInverseRowMadd(1), MakeInverseRowMadd(2),
                                         MakeInverseRowMadd(3), MakeInverseRowMadd(4), MakeInverseRowMadd(5),
                                         MakeInverseRowMadd(6), MakeInverseRowMadd(7)};
constexpr HighRounders FORWARD_HIGH_ROUNDERS = MakeHighRounders();
