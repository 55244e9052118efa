// SPDX-License-Identifier: BSD-2-Clause
#include "pixels/ColourTables.h"
#include "pixels/StagingAvx2.h"

// The reverse colour tables are linear in their index, so these kernels
// compute the entries instead of gathering them, with the signed high halves
// of 16-bit products. Each vector holds eight or sixteen pixels of line r in
// its low lane and the same pixels of line r + 1 in its high lane.
namespace {

// What the arithmetic below assumes of the tables: no biases, origins 16 for
// luma and 128 for chroma, one luma coefficient for blue, green and red, no
// red term of Cb, no blue term of Cr, and a zero lane 3.
constexpr bool TablesFitTheKernels()
{
    constexpr int TABLES[] = {BGR_FROM_Y, BGR_FROM_CB, BGR_FROM_CR};
    for (int table : TABLES) {
        const int origin = table == BGR_FROM_Y ? 16 : 128;
        for (const LaneRule& rule : COLOUR_RULES[table]) {
            if (rule.bias != 0 || (rule.coefficient != 0 && rule.origin != origin))
                return false;
        }
        if (COLOUR_RULES[table][3].coefficient != 0)
            return false;
    }
    const int luma = COLOUR_RULES[BGR_FROM_Y][LANE_BLUE].coefficient;
    return COLOUR_RULES[BGR_FROM_Y][LANE_GREEN].coefficient == luma &&
           COLOUR_RULES[BGR_FROM_Y][LANE_RED].coefficient == luma &&
           COLOUR_RULES[BGR_FROM_CB][LANE_RED].coefficient == 0 &&
           COLOUR_RULES[BGR_FROM_CR][LANE_BLUE].coefficient == 0;
}
static_assert(TablesFitTheKernels());

constexpr int REVERSE_LUMA = COLOUR_RULES[BGR_FROM_Y][LANE_BLUE].coefficient;
constexpr int LUMA_ORIGIN = 16;

// floor(298 (Y - 16) / 256) of sixteen luma bytes widened to words: (Y - 16)
// << 7 and 2 * 298 both fit signed words, and their product has the same high
// half as 298 (Y - 16) << 8.
__m256i LumaTerm(__m256i luma)
{
    const __m256i scaled = _mm256_slli_epi16(_mm256_sub_epi16(luma, _mm256_set1_epi16(LUMA_ORIGIN)), 7);
    return _mm256_mulhi_epi16(scaled, _mm256_set1_epi16(2 * REVERSE_LUMA));
}

// One colour component of pixels 0-15 as saturated bytes: the luma terms of
// pixels 0-7 and 8-15 plus the chroma term that each pair shares.
__m256i Channel(const __m256i lumaTerms[2], __m256i pairTerms)
{
    const __m256i left = _mm256_add_epi16(lumaTerms[0], _mm256_unpacklo_epi16(pairTerms, pairTerms));
    const __m256i right = _mm256_add_epi16(lumaTerms[1], _mm256_unpackhi_epi16(pairTerms, pairTerms));
    return _mm256_packus_epi16(left, right);
}

struct Planes {
    __m256i blue;
    __m256i green;
    __m256i red;
};

// Blue, green and red bytes of pixels 0-15 of rows r and r + 1. Luma and chroma
// are first saturated to bytes, as for a UYVY picture.
Planes ReverseLinePair(const MacroblockBuffer* buffer, int row)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i luma = _mm256_packus_epi16(LoadRowPair(buffer, BLOCK_Y_LEFT, row),
                                             LoadRowPair(buffer, BLOCK_Y_RIGHT, row));
    const __m256i chroma =
        _mm256_packus_epi16(LoadRowPair(buffer, BLOCK_CB, row), LoadRowPair(buffer, BLOCK_CR, row));
    // (C - 128) << 8 fits a signed word; the signed high half of its product
    // with c is floor(c (C - 128) / 256).
    const __m256i centred = _mm256_xor_si256(chroma, _mm256_set1_epi8(static_cast<char>(0x80)));
    const __m256i cb = _mm256_unpacklo_epi8(zero, centred);
    const __m256i cr = _mm256_unpackhi_epi8(zero, centred);
    const auto term = [](__m256i centredChroma, int table, int lane) {
        return _mm256_mulhi_epi16(centredChroma, _mm256_set1_epi16(COLOUR_RULES[table][lane].coefficient));
    };
    const __m256i lumaTerms[2] = {LumaTerm(_mm256_unpacklo_epi8(luma, zero)),
                                  LumaTerm(_mm256_unpackhi_epi8(luma, zero))};
    const __m256i greenTerm =
        _mm256_add_epi16(term(cb, BGR_FROM_CB, LANE_GREEN), term(cr, BGR_FROM_CR, LANE_GREEN));
    return {Channel(lumaTerms, term(cb, BGR_FROM_CB, LANE_BLUE)), Channel(lumaTerms, greenTerm),
            Channel(lumaTerms, term(cr, BGR_FROM_CR, LANE_RED))};
}

// B G R 0 of pixels 0-15, lines r and r + 1.
void WriteBGR32(const Planes& p, uint8_t* line, ptrdiff_t stride)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i blueGreen[2] = {_mm256_unpacklo_epi8(p.blue, p.green), _mm256_unpackhi_epi8(p.blue, p.green)};
    const __m256i redZero[2] = {_mm256_unpacklo_epi8(p.red, zero), _mm256_unpackhi_epi8(p.red, zero)};
    for (int half = 0; half < 2; ++half) {  // pixels 0-7, 8-15
        const __m256i first = _mm256_unpacklo_epi16(blueGreen[half], redZero[half]);
        const __m256i second = _mm256_unpackhi_epi16(blueGreen[half], redZero[half]);
        __m256i* const out = reinterpret_cast<__m256i*>(line + 32 * half);
        _mm256_storeu_si256(out, _mm256_permute2x128_si256(first, second, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(line + stride + 32 * half),
                            _mm256_permute2x128_si256(first, second, 0x31));
    }
}

// Bytes 16 * chunk .. 16 * chunk + 15 of a BGR24 line that come from colour
// component `component` (0 blue, 1 green, 2 red), picked from its plane.
constexpr ByteControl PickBGR24(int chunk, int component)
{
    ByteControl control = {};
    for (int lane = 0; lane < 2; ++lane) {
        for (int i = 0; i < 16; ++i) {
            const int byte = 16 * chunk + i;
            control.bytes[16 * lane + i] = byte % 3 == component ? static_cast<int8_t>(byte / 3) : ZERO_BYTE;
        }
    }
    return control;
}

template <int CHUNK>
__m256i BGR24Chunk(const Planes& p)
{
    static constexpr ByteControl BLUE = PickBGR24(CHUNK, 0);
    static constexpr ByteControl GREEN = PickBGR24(CHUNK, 1);
    static constexpr ByteControl RED = PickBGR24(CHUNK, 2);
    return _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(p.blue, LoadControl(BLUE)),
                                           _mm256_shuffle_epi8(p.green, LoadControl(GREEN))),
                           _mm256_shuffle_epi8(p.red, LoadControl(RED)));
}

// B G R of pixels 0-15, lines r and r + 1.
void WriteBGR24(const Planes& p, uint8_t* line, ptrdiff_t stride)
{
    const __m256i first = BGR24Chunk<0>(p);
    const __m256i second = BGR24Chunk<1>(p);
    const __m256i third = BGR24Chunk<2>(p);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(line), _mm256_permute2x128_si256(first, second, 0x20));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(line + 32), _mm256_castsi256_si128(third));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(line + stride), _mm256_permute2x128_si256(first, second, 0x31));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(line + stride + 32), _mm256_extracti128_si256(third, 1));
}

template <int BYTES_PER_PIXEL>
void StoreRows(const MacroblockBuffer* buffer, uint8_t* destination, ptrdiff_t stride)
{
    for (int row = 0; row < MACROBLOCK_LINES; row += 2) {
        const Planes planes = ReverseLinePair(buffer, row);
        if constexpr (BYTES_PER_PIXEL == 3)
            WriteBGR24(planes, destination + row * stride, stride);
        else
            WriteBGR32(planes, destination + row * stride, stride);
    }
}

}  // namespace

void StoreBGR24MacroblockAvx2(const MacroblockBuffer* buffer, uint8_t* destination, ptrdiff_t stride)
{
    StoreRows<3>(buffer, destination, stride);
}

void StoreBGR32MacroblockAvx2(const MacroblockBuffer* buffer, uint8_t* destination, ptrdiff_t stride)
{
    StoreRows<4>(buffer, destination, stride);
}
