// SPDX-License-Identifier: BSD-2-Clause
// Scalar forms of the vector lane operations that the transform kernels use.
// Each gives the instruction's result for every input, so a plain twin built
// from them matches its vector kernels byte for byte.
#pragma once

#include <cmath>
#include <cstdint>

// packssdw, one lane.
inline int16_t Saturate16(int32_t x)
{
    return int16_t(x < -32768 ? -32768 : x > 32767 ? 32767 : x);
}

// paddsw / psubsw, one lane.
inline int16_t AddSat16(int16_t a, int16_t b)
{
    return Saturate16(int32_t(a) + b);
}

inline int16_t SubSat16(int16_t a, int16_t b)
{
    return Saturate16(int32_t(a) - b);
}

// pmulhw, one lane: floor(a * b / 65536).
inline int16_t MulHi16(int16_t a, int16_t b)
{
    return int16_t((int32_t(a) * b) >> 16);
}

// psllw: the bits shifted out of the 16-bit lane are lost.
inline int16_t ShiftLeft16(int16_t a, int n)
{
    return int16_t(uint16_t(uint16_t(a) << n));
}

// psraw: floor division by 2^n.
inline int16_t ShiftRight16(int16_t a, int n)
{
    return int16_t(a >> n);
}

// por with 1: sets the lowest bit.
inline int16_t OrOne(int16_t a)
{
    return int16_t(a | 1);
}

// pmaddwd, one lane: a0 * b0 + a1 * b1 modulo 2^32. Kept unsigned so that
// further wrapping sums stay defined; the one input that wraps (all four
// -32768) gives 0x80000000 here as in the instruction.
inline uint32_t MulAddPair(int16_t a0, int16_t b0, int16_t a1, int16_t b1)
{
    return uint32_t(int32_t(a0) * b0) + uint32_t(int32_t(a1) * b1);
}

// cvtps2dq under the default rounding mode: nearest, ties to even; NaN and
// values outside the 32-bit range give INT32_MIN.
inline int32_t ConvertToInt32(float x)
{
    if (!(x >= -2147483648.0f && x < 2147483648.0f))
        return INT32_MIN;
    return int32_t(std::nearbyint(x));
}

// Two pmaddwd lanes added with paddd: x0*w0 + x1*w1 + x2*w2 + x3*w3 modulo 2^32.
inline uint32_t MulAdd4(const int16_t x[4], const int16_t w[4])
{
    return MulAddPair(x[0], w[0], x[1], w[1]) + MulAddPair(x[2], w[2], x[3], w[3]);
}

// psrad of a wrapped sum, then packssdw.
inline int16_t ShiftSaturate16(uint32_t sum, int shift)
{
    return Saturate16(int32_t(sum) >> shift);
}
