// The fast block encoder. Vector compares give the zero flags of all 64
// coefficients at once, so the last non-zero position and every zero run come
// from the flag mask instead of the coefficients. Codes gather in a 64-bit
// accumulator and leave as whole 32-bit words; only the DC and the end of
// block go through PutBits, which also keeps the writer's cleared-ahead rule.
#include <emmintrin.h>

#include <bit>

#include "engine/CodecInstance.h"
#include "engine/EntropyInternal.h"

namespace {

// Saturates the coefficients into the value-code range (the DC is clamped on
// its own) and returns their zero flags, bit i set when coefficient i is zero.
uint64_t PrepareCoefficients(const Block* scan, Block* saturated)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i low = _mm_set1_epi16(-VALUE_CODE_LIMIT);
    const __m128i high = _mm_set1_epi16(VALUE_CODE_LIMIT);
    const __m128i* in = reinterpret_cast<const __m128i*>(scan->v);
    __m128i* out = reinterpret_cast<__m128i*>(saturated->v);
    uint64_t zeroFlags = 0;
    for (int i = 0; i < 8; i += 2) {
        const __m128i a = _mm_load_si128(in + i);
        const __m128i b = _mm_load_si128(in + i + 1);
        _mm_store_si128(out + i, _mm_min_epi16(_mm_max_epi16(a, low), high));
        _mm_store_si128(out + i + 1, _mm_min_epi16(_mm_max_epi16(b, low), high));
        const __m128i flags = _mm_packs_epi16(_mm_cmpeq_epi16(a, zero), _mm_cmpeq_epi16(b, zero));
        zeroFlags |= uint64_t(uint32_t(_mm_movemask_epi8(flags))) << (8 * i);
    }
    return zeroFlags;
}

}  // namespace

void EncodeBlockSse2(const Block* scan, const CodecInstance* instance, BitWriter* writer)
{
    // The word stores below are unchecked: near the end of the buffer the
    // plain encoder's checked PutBits takes over and records the overflow.
    if (!HasRoom(writer, MAX_BLOCK_BYTES)) {
        EncodeBlockPlain(scan, instance, writer);
        return;
    }
    Block c;
    const uint64_t zeroFlags = PrepareCoefficients(scan, &c);
    const uint64_t nonZero = ~zeroFlags;
    const int n = nonZero ? 64 - std::countl_zero(nonZero) : 0;

    PutBits(writer, ClampDc(scan->v[0]), 12);
    if (n > 1) {
        uint32_t position = writer->position;
        uint8_t* word = writer->buffer + position / 32 * 4;
        // The word holding the position, whose bits above it the DC's PutBits
        // has just cleared.
        unsigned used = position % 32;
        uint64_t pending = LoadLE32(word);
        int t = 1;
        while (t < n) {
            uint32_t code;
            unsigned length;
            if (zeroFlags >> t & 1) {
                // t + 1 <= 63: coefficient n - 1 is non-zero, so t < n - 1.
                const uint8_t* run = instance->zeroRunCodes[zeroFlags >> (t + 1) & 0xFF];
                code = run[0];
                length = run[1] & ZERO_RUN_LENGTH_MASK;
                t += run[1] >> ZERO_RUN_COUNT_SHIFT;
            } else {
                const uint32_t entry = instance->valueCodes[c.v[t] + VALUE_CODE_LIMIT];
                code = entry & VALUE_CODE_MASK;
                length = entry >> VALUE_LENGTH_SHIFT;
                ++t;
            }
            pending |= uint64_t(code) << used;  // used < 32 and codes <= 22 bits: fits
            used += length;
            position += length;
            // Store the low word every time and move on once it is full: no
            // branch on the code lengths.
            StoreLE32(word, uint32_t(pending));
            const unsigned full = used / 32;
            word += 4 * full;
            pending >>= 32 * full;
            used -= 32 * full;
        }
        StoreLE32(word, uint32_t(pending));
        writer->position = position;
    }
    PutBits(writer, END_OF_BLOCK_CODE, END_OF_BLOCK_BITS);
}
