// SPDX-License-Identifier: BSD-2-Clause
// Deterministic coefficient blocks for the entropy-code tests and benchmarks:
// a small seeded generator, photograph-like quantised blocks, and hostile ones.
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>

#include "entropy/EntropyCode.h"
#include "platform/Block.h"

// splitmix64: the same sequence on every platform and compiler.
struct TestRandom {
    uint64_t state;
};

inline uint64_t NextRandom(TestRandom* r)
{
    uint64_t z = (r->state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// Uniform in 0 .. n - 1 (n > 0), close enough for tests.
inline uint32_t RandomBelow(TestRandom* r, uint32_t n)
{
    return uint32_t((NextRandom(r) >> 32) * n >> 32);
}

inline int RandomBetween(TestRandom* r, int low, int high)
{
    return low + int(RandomBelow(r, uint32_t(high - low + 1)));
}

// An 8x8 area of a photograph: a level, a gradient, sometimes an edge, and
// noise; through an orthonormal double-precision DCT (no level shift, as the
// codec's forward path), then quantised with steps that grow with frequency,
// scaled like the luma steps at quality `quality`. Result in scan order.
inline void MakePhotoBlock(TestRandom* r, Block* scan, int quality)
{
    double samples[8][8];
    const int level = RandomBetween(r, 16, 235);
    const double gx = RandomBetween(r, -60, 60) / 10.0;
    const double gy = RandomBetween(r, -60, 60) / 10.0;
    const int noise = RandomBetween(r, 0, 12);
    const int edge = RandomBelow(r, 4) == 0 ? RandomBetween(r, -80, 80) : 0;
    const int edgeColumn = RandomBetween(r, 1, 7);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            double s = level + gx * x + gy * y + (x >= edgeColumn ? edge : 0);
            s += RandomBetween(r, -noise, noise);
            samples[y][x] = s < 0 ? 0 : s > 255 ? 255 : std::floor(s);
        }
    }
    // Orthonormal 1-D basis: basis[u][x] = c(u) / 2 * cos((2x + 1) u pi / 16).
    double basis[8][8];
    for (int u = 0; u < 8; ++u)
        for (int x = 0; x < 8; ++x)
            basis[u][x] = (u ? 0.5 : std::sqrt(0.125)) * std::cos((2 * x + 1) * u * std::numbers::pi / 16);
    double rows[8][8];  // rows transformed: rows[y][v]
    for (int y = 0; y < 8; ++y)
        for (int v = 0; v < 8; ++v) {
            double sum = 0;
            for (int x = 0; x < 8; ++x)
                sum += basis[v][x] * samples[y][x];
            rows[y][v] = sum;
        }
    Block natural;
    for (int u = 0; u < 8; ++u)
        for (int v = 0; v < 8; ++v) {
            double sum = 0;
            for (int y = 0; y < 8; ++y)
                sum += basis[u][y] * rows[y][v];
            const double step = (16.0 + 7.0 * (u + v)) * (100 - quality) / 25.0;
            natural.v[u * 8 + v] = int16_t(std::nearbyint(sum / step));
        }
    ZigzagReorder(&natural, scan);
}

// A value of random class 1..10 and sign: every code length equally likely.
inline int16_t RandomCodedValue(TestRandom* r)
{
    const unsigned k = RandomBetween(r, 1, 10);
    const int magnitude = k == 10 ? RandomBetween(r, 512, 2559)
                                  : RandomBetween(r, 1 << (k - 1), (1 << k) - 1);
    return int16_t(RandomBelow(r, 2) ? -magnitude : magnitude);
}

// Each AC coefficient non-zero with probability density/64; DC in 0..4095.
inline void MakeSparseBlock(TestRandom* r, Block* scan, unsigned density)
{
    scan->v[0] = int16_t(RandomBelow(r, 4096));
    for (int k = 1; k < 64; ++k)
        scan->v[k] = RandomBelow(r, 64) < density ? RandomCodedValue(r) : 0;
}

// Values the code cannot carry and the edges of its ranges, mixed with zeros.
inline void MakeExtremeBlock(TestRandom* r, Block* scan)
{
    static const int16_t EXTREMES[] = {0,     0,    0,     1,     -1,    2559, -2559, 2560,
                                       -2560, 4095, 4096,  32767, -32768, 511, -512,  0};
    for (int k = 0; k < 64; ++k)
        scan->v[k] = RandomBelow(r, 2) ? EXTREMES[RandomBelow(r, 16)]
                                       : int16_t(NextRandom(r));
}
