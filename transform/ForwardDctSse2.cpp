// Forward 8x8 transform on SSE2: the vertical pass on all eight columns at
// once, one vector per row, then each row with four pmaddwd. ForwardDct.cpp
// is its plain twin and follows it step by step.
#if defined(__SSE2__)

#include "transform/DctSse2Ops.h"
#include "transform/TransformKernelsSse2.h"

namespace {

void ForwardColumns(__m128i* r)
{
    const __m128i s07 = AddSat16(r[0], r[7]), d07 = SubSat16(r[0], r[7]);
    const __m128i s16 = AddSat16(r[1], r[6]), d16 = SubSat16(r[1], r[6]);
    const __m128i s25 = AddSat16(r[2], r[5]), d25 = SubSat16(r[2], r[5]);
    const __m128i s34 = AddSat16(r[3], r[4]), d34 = SubSat16(r[3], r[4]);

    const __m128i e3 = SubSat16(s07, s34);
    const __m128i e2 = SubSat16(s16, s25);
    const __m128i e0 = AddSat16(AddSat16(s34, s34), e3);
    const __m128i e1 = AddSat16(AddSat16(s25, s25), e2);

    const __m128i D16 = _mm_slli_epi16(d16, FORWARD_PRESCALE_ODD);
    const __m128i D25 = _mm_slli_epi16(d25, FORWARD_PRESCALE_ODD);
    const __m128i E0 = _mm_slli_epi16(e0, FORWARD_PRESCALE);
    const __m128i E1 = _mm_slli_epi16(e1, FORWARD_PRESCALE);
    const __m128i E2 = _mm_slli_epi16(e2, FORWARD_PRESCALE);
    const __m128i E3 = _mm_slli_epi16(e3, FORWARD_PRESCALE);
    const __m128i D07 = _mm_slli_epi16(d07, FORWARD_PRESCALE);
    const __m128i D34 = _mm_slli_epi16(d34, FORWARD_PRESCALE);

    const __m128i E01 = SubSat16(E0, E1);
    r[4] = E01;
    r[0] = AddSat16(AddSat16(E1, E1), E01);
    r[2] = OrOne(AddSat16(MulHi16(E2, K2), E3));
    r[6] = OrOne(SubSat16(MulHi16(E3, K2), E2));

    const __m128i m = SubSat16(D16, D25);
    const __m128i p = AddSat16(AddSat16(D25, D25), m);
    const __m128i P = OrOne(MulHi16(p, K4));
    const __m128i Q = MulHi16(m, K4);

    const __m128i f = SubSat16(D34, Q);
    const __m128i g = SubSat16(D07, P);
    const __m128i h = AddSat16(P, D07);
    const __m128i k = AddSat16(Q, D34);

    r[1] = AddSat16(MulHi16(k, K1), h);
    r[7] = SubSat16(MulHi16(h, K1), k);
    r[3] = SubSat16(g, AddSat16(MulHi16(f, K3), f));
    r[5] = AddSat16(f, AddSat16(MulHi16(g, K3), g));
}

__m128i ForwardRow(__m128i x, int row)
{
    const ClassMaddWeights& w = CLASS_MADD_WEIGHTS[ROW_CLASS[row]];
    const __m128i reversed = _mm_shuffle_epi32(
        _mm_shufflehi_epi16(_mm_shufflelo_epi16(x, _MM_SHUFFLE(0, 1, 2, 3)), _MM_SHUFFLE(0, 1, 2, 3)),
        _MM_SHUFFLE(1, 0, 3, 2));
    // Lanes 0..3: s0..s3 and d0..d3.
    const __m128i s = AddSat16(x, reversed);
    const __m128i d = SubSat16(x, reversed);
    const __m128i even = MulAdd4(_mm_shuffle_epi32(s, 0x00), _mm_shuffle_epi32(s, 0x55), w.forwardEven);
    const __m128i odd = MulAdd4(_mm_shuffle_epi32(d, 0x00), _mm_shuffle_epi32(d, 0x55), w.odd);
    const __m128i evenTop = _mm_srai_epi32(even, FORWARD_SUM_SHIFT);  // X0 X2 X4 X6
    const __m128i oddTop = _mm_srai_epi32(odd, FORWARD_SUM_SHIFT);    // X1 X3 X5 X7
    const __m128i sums = _mm_packs_epi32(_mm_unpacklo_epi32(evenTop, oddTop), _mm_unpackhi_epi32(evenTop, oddTop));
    return _mm_srai_epi16(AddSat16(sums, LoadRow(FORWARD_ROUNDERS[row])), FORWARD_FINAL_SHIFT);
}

}  // namespace

void ForwardDctSse2(Block* block)
{
    __m128i* rows = reinterpret_cast<__m128i*>(block->v);
    __m128i r[8];
    for (int y = 0; y < 8; ++y)
        r[y] = LoadRow(&rows[y]);
    ForwardColumns(r);
    for (int y = 0; y < 8; ++y)
        _mm_store_si128(&rows[y], ForwardRow(r[y], y));
}

#endif
