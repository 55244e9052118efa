// Inverse 8x8 transform on SSE2: each row with four pmaddwd, then the
// vertical pass on all eight columns at once, one vector per row.
// InverseDct.cpp is its plain twin and follows it step by step.
#if defined(__SSE2__)

#include "transform/DctSse2Ops.h"
#include "transform/TransformKernelsSse2.h"

namespace {

__m128i InverseRow(__m128i x, int row)
{
    const ClassMaddWeights& w = CLASS_MADD_WEIGHTS[ROW_CLASS[row]];
    const __m128i rounder = _mm_set1_epi32(INVERSE_ROUNDERS[row]);
    // 32-bit lanes: (X0 X2) (X1 X3) (X4 X6) (X5 X7).
    const __m128i pairs =
        _mm_shufflehi_epi16(_mm_shufflelo_epi16(x, _MM_SHUFFLE(3, 1, 2, 0)), _MM_SHUFFLE(3, 1, 2, 0));
    const __m128i a = _mm_add_epi32(
        MulAdd4(_mm_shuffle_epi32(pairs, 0x00), _mm_shuffle_epi32(pairs, 0xAA), w.inverseEven), rounder);
    const __m128i b = MulAdd4(_mm_shuffle_epi32(pairs, 0x55), _mm_shuffle_epi32(pairs, 0xFF), w.odd);
    const __m128i top = _mm_srai_epi32(_mm_add_epi32(a, b), INVERSE_SUM_SHIFT);     // positions 0 1 2 3
    const __m128i bottom = _mm_srai_epi32(_mm_sub_epi32(a, b), INVERSE_SUM_SHIFT);  // positions 7 6 5 4
    return _mm_shufflehi_epi16(_mm_packs_epi32(top, bottom), _MM_SHUFFLE(0, 1, 2, 3));
}

void InverseOutputs(__m128i a, __m128i b, __m128i* top, __m128i* bottom)
{
    *top = _mm_srai_epi16(AddSat16(a, b), INVERSE_FINAL_SHIFT);
    *bottom = _mm_srai_epi16(SubSat16(a, b), INVERSE_FINAL_SHIFT);
}

void InverseColumns(__m128i* r)
{
    const __m128i tp04 = AddSat16(r[0], r[4]);
    const __m128i tm04 = SubSat16(r[0], r[4]);
    const __m128i tp26 = AddSat16(r[2], MulHi16(r[6], K2));
    const __m128i tm26 = SubSat16(MulHi16(r[2], K2), r[6]);

    const __m128i a0 = AddSat16(tp04, tp26);
    const __m128i a3 = SubSat16(tp04, tp26);
    const __m128i a1 = AddSat16(tm04, tm26);
    const __m128i a2 = SubSat16(tm04, tm26);

    const __m128i tp17 = AddSat16(r[1], MulHi16(r[7], K1));
    const __m128i tm17 = SubSat16(MulHi16(r[1], K1), r[7]);
    const __m128i tp35 = AddSat16(AddSat16(MulHi16(r[5], K3), r[5]), r[3]);
    const __m128i tm35 = SubSat16(AddSat16(MulHi16(r[3], K3), r[3]), r[5]);

    const __m128i b0 = AddSat16(tp17, tp35);
    const __m128i b3 = SubSat16(tm17, tm35);
    const __m128i t1 = SubSat16(tp17, tp35);
    const __m128i t2 = AddSat16(tm17, tm35);
    const __m128i M = MulHi16(AddSat16(t1, t2), K4);
    const __m128i N = MulHi16(SubSat16(t1, t2), K4);
    const __m128i b1 = AddSat16(M, M);
    const __m128i b2 = AddSat16(N, N);

    InverseOutputs(a0, b0, &r[0], &r[7]);
    InverseOutputs(a1, b1, &r[1], &r[6]);
    InverseOutputs(a2, b2, &r[2], &r[5]);
    InverseOutputs(a3, b3, &r[3], &r[4]);
}

}  // namespace

void InverseDctSse2(Block* block)
{
    __m128i* rows = reinterpret_cast<__m128i*>(block->v);
    __m128i r[8];
    for (int y = 0; y < 8; ++y)
        r[y] = InverseRow(LoadRow(&rows[y]), y);
    InverseColumns(r);
    for (int y = 0; y < 8; ++y)
        _mm_store_si128(&rows[y], r[y]);
}

#endif
