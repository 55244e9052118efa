// SPDX-License-Identifier: BSD-2-Clause
#include "pixels/ColourTables.h"
#include "pixels/StagingAvx2.h"

// The forward colour tables are linear in their index, so these kernels
// compute the entries instead of gathering them: with a byte i in the high
// half of a 16-bit word, the high half of the word's product with c is
// floor(c * i / 256). Each vector holds four pixels of line r in its low lane
// and the same four of line r + 1 in its high lane.
namespace {

constexpr int Coefficient(int table, int lane)
{
    return COLOUR_RULES[table][lane].coefficient;
}

// What the arithmetic below assumes of the tables: no origins, the biases in
// the red table only, and lane 3 repeating Y, whose terms are all positive.
constexpr bool TablesFitTheKernels()
{
    constexpr int TABLES[] = {YCC_FROM_R, YCC_FROM_G, YCC_FROM_B};
    for (int table : TABLES) {
        const LaneRule& y = COLOUR_RULES[table][LANE_Y];
        const LaneRule& repeated = COLOUR_RULES[table][3];
        for (const LaneRule& rule : COLOUR_RULES[table]) {
            if (rule.origin != 0 || (table != YCC_FROM_R && rule.bias != 0))
                return false;
        }
        if (repeated.coefficient != y.coefficient || repeated.bias != y.bias || y.coefficient <= 0)
            return false;
    }
    return COLOUR_RULES[YCC_FROM_R][LANE_CB].bias == COLOUR_RULES[YCC_FROM_R][LANE_CR].bias;
}
static_assert(TablesFitTheKernels());

// Two 16-bit lanes as one 32-bit one, low first.
constexpr int32_t Words(int low, int high)
{
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint16_t>(low)) |
                                static_cast<uint32_t>(static_cast<uint16_t>(high)) << 16);
}

// Four pixels per lane, one 32-bit lane each, every component byte in the
// high half of a word: (blue, red) and (green, 0).
struct Components {
    __m256i blueRed;
    __m256i green;
};

Components BGR32Components(__m256i pixels)
{
    return {_mm256_slli_epi16(pixels, 8), _mm256_and_si256(pixels, _mm256_set1_epi32(0x0000FF00))};
}

// Spreads four BGR24 pixels starting at byte `first` of each lane: component
// `low` of pixel k to the high byte of word 2k, `high` (or nothing, if
// negative) to that of word 2k + 1.
constexpr ByteControl SpreadBGR24(int first, int low, int high)
{
    ByteControl control = {};
    for (int lane = 0; lane < 2; ++lane) {
        for (int k = 0; k < 4; ++k) {
            int8_t* const pixel = control.bytes + 16 * lane + 4 * k;
            pixel[0] = pixel[2] = ZERO_BYTE;
            pixel[1] = static_cast<int8_t>(first + 3 * k + low);
            pixel[3] = high < 0 ? ZERO_BYTE : static_cast<int8_t>(first + 3 * k + high);
        }
    }
    return control;
}

// Pixels 4q .. 4q+3 of lines r and r + 1. BGR24 reads 16 bytes at 12q, but
// the last quad from byte 32 so as not to read past the macroblock line.
template <int BYTES_PER_PIXEL, int QUAD>
Components QuadComponents(const uint8_t* line, ptrdiff_t stride)
{
    if constexpr (BYTES_PER_PIXEL == 4) {
        return BGR32Components(LoadLinePair(line, stride, 16 * QUAD));
    } else {
        constexpr int OFFSET = QUAD == 3 ? 32 : 12 * QUAD;
        static constexpr ByteControl BLUE_RED = SpreadBGR24(12 * QUAD - OFFSET, 0, 2);
        static constexpr ByteControl GREEN = SpreadBGR24(12 * QUAD - OFFSET, 1, -1);
        const __m256i bytes = LoadLinePair(line, stride, OFFSET);
        return {_mm256_shuffle_epi8(bytes, LoadControl(BLUE_RED)),
                _mm256_shuffle_epi8(bytes, LoadControl(GREEN))};
    }
}

// Per pixel, as 32-bit lanes: Y - 16, and the pixel's chroma sample less 128
// in the low byte (Cb for even pixels, Cr for odd ones).
struct Forward {
    __m256i luma;
    __m256i chroma;
};

// Multipliers for the (blue, red) or the (green, 0) words of an even and an
// odd pixel: their coefficients in lane `evenLane`, `oddLane` of the tables.
__m256i Multipliers(bool blueRed, int evenLane, int oddLane)
{
    const auto words = [blueRed](int lane) {
        return static_cast<uint32_t>(
            blueRed ? Words(Coefficient(YCC_FROM_B, lane), Coefficient(YCC_FROM_R, lane))
                    : Words(Coefficient(YCC_FROM_G, lane), 0));
    };
    return _mm256_set1_epi64x(
        static_cast<int64_t>(words(evenLane) | static_cast<uint64_t>(words(oddLane)) << 32));
}

// The luma terms are all positive: the unsigned high halves are exact and
// their sums stay within 0..217. A negative chroma coefficient c is used as
// 2^16 + c, which adds 256 i to floor(c * i / 256): the chroma sums are right
// modulo 256, and every chroma sample lies within 18..239.
Forward ForwardQuad(Components c)
{
    const auto sums = [&c](int evenLane, int oddLane) {
        const __m256i terms =
            _mm256_add_epi16(_mm256_mulhi_epu16(c.blueRed, Multipliers(true, evenLane, oddLane)),
                             _mm256_mulhi_epu16(c.green, Multipliers(false, evenLane, oddLane)));
        return _mm256_madd_epi16(terms, _mm256_set1_epi16(1));
    };
    return {sums(LANE_Y, LANE_Y), sums(LANE_CB, LANE_CR)};
}

// Takes the low bytes of the chroma lanes of the first (0) or second (1)
// quad of a half line, pairs 2 * quad and 2 * quad + 1: their Cb to words
// 2 * quad + (0, 1), their Cr to words 4 + 2 * quad + (0, 1), the high bytes
// zero.
constexpr ByteControl PickChroma(int quad)
{
    ByteControl control = {};
    for (int8_t& byte : control.bytes)
        byte = ZERO_BYTE;
    for (int lane = 0; lane < 2; ++lane) {
        for (int pair = 0; pair < 2; ++pair) {
            control.bytes[16 * lane + 2 * (2 * quad + pair)] = static_cast<int8_t>(8 * pair);
            control.bytes[16 * lane + 2 * (4 + 2 * quad + pair)] = static_cast<int8_t>(8 * pair + 4);
        }
    }
    return control;
}

template <int BYTES_PER_PIXEL>
void LoadRows(const uint8_t* source, ptrdiff_t stride, MacroblockBuffer* buffer)
{
    static constexpr ByteControl PICK_FIRST = PickChroma(0);
    static constexpr ByteControl PICK_SECOND = PickChroma(1);
    const __m256i lumaBias = _mm256_set1_epi16(COLOUR_RULES[YCC_FROM_R][LANE_Y].bias);
    const __m256i chromaBias = _mm256_set1_epi16(COLOUR_RULES[YCC_FROM_R][LANE_CB].bias);
    // Cb then Cr of the pairs of two quads, in words: the low bytes of the
    // chroma sums with the bias added modulo 256.
    const auto chromaOf = [chromaBias](const Forward& first, const Forward& second) {
        const __m256i picked = _mm256_or_si256(_mm256_shuffle_epi8(first.chroma, LoadControl(PICK_FIRST)),
                                               _mm256_shuffle_epi8(second.chroma, LoadControl(PICK_SECOND)));
        return _mm256_add_epi8(picked, chromaBias);
    };
    for (int row = 0; row < MACROBLOCK_LINES; row += 2) {
        const uint8_t* const line = source + row * stride;
        // Further along both lines: the rest of a BGR24 macroblock's cache
        // lines, the next macroblock's part of a BGR32 line.
        for (int next = 0; next < 2; ++next) {
            PrefetchLineAhead(line + next * stride, BYTES_PER_PIXEL == 3 ? 40 : 64);
            if constexpr (BYTES_PER_PIXEL == 4)
                PrefetchLineAhead(line + next * stride, 96);
        }
        const Forward quads[4] = {ForwardQuad(QuadComponents<BYTES_PER_PIXEL, 0>(line, stride)),
                                  ForwardQuad(QuadComponents<BYTES_PER_PIXEL, 1>(line, stride)),
                                  ForwardQuad(QuadComponents<BYTES_PER_PIXEL, 2>(line, stride)),
                                  ForwardQuad(QuadComponents<BYTES_PER_PIXEL, 3>(line, stride))};
        StoreRowPair(buffer, BLOCK_Y_LEFT, row,
                     _mm256_add_epi16(_mm256_packs_epi32(quads[0].luma, quads[1].luma), lumaBias));
        StoreRowPair(buffer, BLOCK_Y_RIGHT, row,
                     _mm256_add_epi16(_mm256_packs_epi32(quads[2].luma, quads[3].luma), lumaBias));
        const __m256i left = chromaOf(quads[0], quads[1]);  // Cb 0-3, Cr 0-3
        const __m256i right = chromaOf(quads[2], quads[3]);
        StoreRowPair(buffer, BLOCK_CB, row, _mm256_unpacklo_epi64(left, right));
        StoreRowPair(buffer, BLOCK_CR, row, _mm256_unpackhi_epi64(left, right));
    }
}

}  // namespace

void LoadBGR24MacroblockAvx2(const StagingMasks*, const uint8_t* source, ptrdiff_t stride,
                             MacroblockBuffer* buffer)
{
    LoadRows<3>(source, stride, buffer);
}

void LoadBGR32MacroblockAvx2(const StagingMasks*, const uint8_t* source, ptrdiff_t stride,
                             MacroblockBuffer* buffer)
{
    LoadRows<4>(source, stride, buffer);
}

