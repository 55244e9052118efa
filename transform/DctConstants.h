// SPDX-License-Identifier: BSD-2-Clause
// Constants of the fixed-point 8x8 transforms, shared by the plain twins and
// the vector kernels so that all compute with the very same numbers.
//
// The vertical 1-D transform leaves output row u scaled by a factor that
// depends on u; the horizontal coefficients of row u fold that factor back in.
// Rows with the same factor share a coefficient class.
#pragma once

#include <cstdint>

// Vertical passes multiply with pmulhw (x * K / 65536), so every multiplier
// must fit a signed 16-bit lane.
constexpr int16_t K1 = 13036;   // tan(pi/16) * 65536
constexpr int16_t K2 = 27146;   // tan(2pi/16) * 65536
constexpr int16_t K3 = -21746;  // (tan(3pi/16) - 1) * 65536; the 1 comes back as "+ x"
constexpr int16_t K4 = 23170;   // cos(4pi/16) * 32768; the missing factor 2 is applied around it

// The forward vertical pass keeps 3 more bits of precision, and 4 for d16 and
// d25, which lose one in the multiplication by K4. With 8-bit samples the
// largest value, a row-0 sum of an all-255 block, is 32640.
constexpr int FORWARD_PRESCALE = 3;
constexpr int FORWARD_PRESCALE_ODD = 4;
// A forward output is the top half of its horizontal sum, rounded and shifted
// down 4 more bits; an inverse row keeps 11 bits fewer than its sums, and the
// vertical pass drops 6 more.
constexpr int FORWARD_SUM_SHIFT = 16;
constexpr int FORWARD_FINAL_SHIFT = 4;
constexpr int INVERSE_SUM_SHIFT = 11;
constexpr int INVERSE_FINAL_SHIFT = 6;

constexpr int ROW_CLASS[8] = {0, 1, 2, 3, 0, 3, 2, 1};

// Entry k is c_k = round(16384 * s * sqrt(2) * cos(k * pi / 16)), s the
// class's scale: 1, sqrt(2)cos(pi/16), sqrt(2)cos(2pi/16), sqrt(2)cos(3pi/16).
// Entry 0 is unused. All fit a signed 16-bit lane, as pmaddwd needs.
constexpr int16_t CLASS_MAGNITUDES[4][8] = {
    {0, 22725, 21407, 19266, 16384, 12873, 8867, 4520},
    {0, 31521, 29692, 26722, 22725, 17855, 12299, 6270},
    {0, 29692, 27969, 25172, 21407, 16819, 11585, 5906},
    {0, 26722, 25172, 22654, 19266, 15137, 10426, 5315},
};

// The horizontal 1-D transforms as signed indices into the magnitudes
// (-6 stands for -c6). Row j gives one output from four inputs.
// Forward: X(2j) from s0..s3 and X(2j+1) from d0..d3, where s_i and d_i are
// the sum and difference of the row's values i and 7 - i.
constexpr int FORWARD_EVEN_TERMS[4][4] = {{4, 4, 4, 4}, {2, 6, -6, -2}, {4, -4, -4, 4}, {6, -2, 2, -6}};
// Inverse: a_j from X0, X2, X4, X6 and b_j from X1, X3, X5, X7. The odd part
// is its own transpose, so both directions share it.
constexpr int INVERSE_EVEN_TERMS[4][4] = {{4, 2, 4, 6}, {4, 6, -4, -2}, {4, -6, -4, 2}, {4, -2, 4, -6}};
constexpr int ODD_TERMS[4][4] = {{1, 3, 5, 7}, {3, -7, -1, -5}, {5, -1, 7, 3}, {7, -5, 3, -1}};

struct RowWeights {
    int16_t forwardEven[4][4];
    int16_t inverseEven[4][4];
    int16_t odd[4][4];
};

constexpr RowWeights MakeRowWeights(int rowClass)
{
    const auto weight = [rowClass](int term) {
        return int16_t(term < 0 ? -CLASS_MAGNITUDES[rowClass][-term] : CLASS_MAGNITUDES[rowClass][term]);
    };
    RowWeights w{};
    for (int j = 0; j < 4; ++j) {
        for (int i = 0; i < 4; ++i) {
            w.forwardEven[j][i] = weight(FORWARD_EVEN_TERMS[j][i]);
            w.inverseEven[j][i] = weight(INVERSE_EVEN_TERMS[j][i]);
            w.odd[j][i] = weight(ODD_TERMS[j][i]);
        }
    }
    return w;
}

constexpr RowWeights CLASS_WEIGHTS[4] = {MakeRowWeights(0), MakeRowWeights(1), MakeRowWeights(2),
                                         MakeRowWeights(3)};

// Added to each forward output before its last shift by 4.
constexpr int16_t FORWARD_ROUNDERS[8][8] = {
    {6, 8, 8, 8, 6, 8, 8, 8}, {10, 8, 8, 8, 8, 8, 8, 8}, {8, 8, 8, 8, 8, 8, 8, 8},
    {8, 8, 8, 8, 8, 8, 8, 8}, {6, 8, 8, 8, 6, 8, 8, 8}, {8, 8, 8, 8, 8, 8, 8, 8},
    {8, 8, 8, 8, 8, 8, 8, 8}, {8, 8, 8, 8, 8, 8, 8, 8},
};

// Added to the even sums of each inverse row. Row 0's 65536 is 32 after the
// shift by 11 and reaches every output with weight one: the rounding of the
// final shift by 6. The small ones settle ties.
constexpr int32_t INVERSE_ROUNDERS[8] = {65536, 3597, 2260, 1203, 0, 120, 512, 512};

// What the horizontal inverse pass makes of a row of zero coefficients: its
// rounder alone, shifted (1 in rows 1 and 2, 0 elsewhere). The vector kernels
// skip such rows.
constexpr int16_t ZERO_ROW_SAMPLE[8] = {
    int16_t(INVERSE_ROUNDERS[0] >> INVERSE_SUM_SHIFT), int16_t(INVERSE_ROUNDERS[1] >> INVERSE_SUM_SHIFT),
    int16_t(INVERSE_ROUNDERS[2] >> INVERSE_SUM_SHIFT), int16_t(INVERSE_ROUNDERS[3] >> INVERSE_SUM_SHIFT),
    int16_t(INVERSE_ROUNDERS[4] >> INVERSE_SUM_SHIFT), int16_t(INVERSE_ROUNDERS[5] >> INVERSE_SUM_SHIFT),
    int16_t(INVERSE_ROUNDERS[6] >> INVERSE_SUM_SHIFT), int16_t(INVERSE_ROUNDERS[7] >> INVERSE_SUM_SHIFT),
};
