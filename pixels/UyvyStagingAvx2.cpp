// SPDX-License-Identifier: BSD-2-Clause
#include "pixels/StagingAvx2.h"

// Two lines per step; each lane does what the SSE2 kernels do for one line.
namespace {

// Streaming stores bypass the cache: the decoded picture is not read again
// soon. The destination is only known to be 16-byte aligned, so they go out
// in 16-byte units.
template <bool STREAM>
void StoreRows(const MacroblockBuffer* buffer, uint8_t* destination, ptrdiff_t stride)
{
    for (int row = 0; row < MACROBLOCK_LINES; row += 2) {
        // Saturated luma of pixels 0-15, and Cb 0-7 then Cr 0-7, per line.
        const __m256i luma = _mm256_packus_epi16(LoadRowPair(buffer, BLOCK_Y_LEFT, row),
                                                 LoadRowPair(buffer, BLOCK_Y_RIGHT, row));
        const __m256i cbThenCr =
            _mm256_packus_epi16(LoadRowPair(buffer, BLOCK_CB, row), LoadRowPair(buffer, BLOCK_CR, row));
        const __m256i chroma = _mm256_unpacklo_epi8(cbThenCr, _mm256_srli_si256(cbThenCr, 8));
        const __m256i low = _mm256_unpacklo_epi8(chroma, luma);  // macropixels 0-3
        const __m256i high = _mm256_unpackhi_epi8(chroma, luma);
        uint8_t* const line = destination + row * stride;
        if constexpr (STREAM) {
            const auto stream = [](uint8_t* address, __m128i value) {
                _mm_stream_si128(reinterpret_cast<__m128i*>(address), value);
            };
            stream(line, _mm256_castsi256_si128(low));
            stream(line + 16, _mm256_castsi256_si128(high));
            stream(line + stride, _mm256_extracti128_si256(low, 1));
            stream(line + stride + 16, _mm256_extracti128_si256(high, 1));
        } else {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(line), _mm256_permute2x128_si256(low, high, 0x20));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(line + stride),
                                _mm256_permute2x128_si256(low, high, 0x31));
        }
    }
}

}  // namespace

// Unaligned 16-byte loads cost what aligned ones do: this serves both entries.
void LoadUYVYMacroblockAvx2(const StagingMasks*, const uint8_t* source, ptrdiff_t stride,
                            MacroblockBuffer* buffer)
{
    const __m256i byteMask = _mm256_set1_epi16(0x00FF);
    for (int row = 0; row < MACROBLOCK_LINES; row += 2) {
        const uint8_t* const line = source + row * stride;
        PrefetchLineAhead(line, UYVY_LINE_BYTES);  // the next macroblock's part of these lines
        PrefetchLineAhead(line + stride, UYVY_LINE_BYTES);
        const __m256i low = LoadLinePair(line, stride, 0);  // macropixels 0-3
        const __m256i high = LoadLinePair(line, stride, 16);
        // Luma is the high byte of every word; the low bytes, packed in order,
        // are Cb0 Cr0 ... Cb7 Cr7.
        const __m256i chroma =
            _mm256_packus_epi16(_mm256_and_si256(low, byteMask), _mm256_and_si256(high, byteMask));
        StoreRowPair(buffer, BLOCK_Y_LEFT, row, _mm256_srli_epi16(low, 8));
        StoreRowPair(buffer, BLOCK_Y_RIGHT, row, _mm256_srli_epi16(high, 8));
        StoreRowPair(buffer, BLOCK_CB, row, _mm256_and_si256(chroma, byteMask));
        StoreRowPair(buffer, BLOCK_CR, row, _mm256_srli_epi16(chroma, 8));
    }
}

void StoreUYVYMacroblockAvx2(const MacroblockBuffer* buffer, uint8_t* destination, ptrdiff_t stride)
{
    StoreRows<false>(buffer, destination, stride);
}

void StoreUYVYMacroblockAlignedAvx2(const MacroblockBuffer* buffer, uint8_t* destination,
                                    ptrdiff_t stride)
{
    StoreRows<true>(buffer, destination, stride);
}
