// SPDX-License-Identifier: BSD-2-Clause
// One field of a QF25 frame. A frame is the field-0 record (quality byte, its
// own 24-bit length S0, four slices) followed by the field-1 record (four
// slices, no header). A slice is its 24-bit length L followed by the coded
// macroblocks of its bands, padded with zero bits to a byte.
#pragma once

#include <cstddef>
#include <cstdint>

struct CodecInstance;

constexpr uint32_t FIELD0_HEADER_BYTES = 4;
constexpr uint32_t SLICE_HEADER_BYTES = 3;
constexpr uint32_t MAX_RECORD_BYTES = (1u << 24) - 1;  // 24-bit lengths

// Codes one field of the instance's picture into `frame`, which may hold
// `capacity` bytes. Field 0 (fieldIndex 0) writes the header; field 1 (any
// other index) goes after the field-0 record already in the buffer. Returns S0
// for field 0 and S0 + S1 for field 1, or 0 when the field does not fit the
// capacity or a length does not fit 24 bits; then the frame is not usable.
uint32_t EncodeField(CodecInstance* instance, uint8_t* frame, uint32_t capacity,
                     const uint8_t* firstLine, ptrdiff_t stride, int fieldIndex);

enum FieldStatus : int {
    FIELD_OK = 0,
    FIELD_DAMAGED = 1,  // decoded, but some slice did not end where its length says
    FIELD_REFUSED = 2,  // nothing decoded: the frame's own lengths are impossible
};

// Decodes one field of the frame (`size` readable bytes, starting with the
// field-0 record for both fields) into the picture. Takes the quality from
// byte 0. The four slices run on the instance's workers (or, with
// sliceThreads 1, one after another on the caller's thread); the call
// returns only once all of them are done.
FieldStatus DecodeField(CodecInstance* instance, const uint8_t* frame, uint32_t size,
                        uint8_t* firstLine, ptrdiff_t stride, int fieldIndex);

// The largest frame this codec writes for a picture, headers included
// (every coefficient in its longest code), or 0 when it exceeds 32 bits.
uint64_t MaxFrameBytes(int32_t width, int32_t height);

// True when the frame's own lengths (S0 and the eight slice lengths) are
// possible and all lie inside `size` bytes.
bool FrameFits(const uint8_t* frame, uint32_t size);

// The frame length its own headers declare (S0 plus the four field-1 slice
// lengths), reading no header beyond `limit` bytes; 0 when a length is
// impossible or points past `limit`. For callers that were given no size.
uint32_t DeclaredFrameBytes(const uint8_t* frame, uint32_t limit);
