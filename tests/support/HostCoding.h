// SPDX-License-Identifier: BSD-2-Clause
// Pictures coded and decoded the way hosts do it, with buffers of exactly the
// size each entry point promises to stay inside, so that the address
// sanitizer sees any byte read or written beyond them: through the field
// functions, one field per call, and through DriverProc's messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/Vfw.h"
#include "support/FrameCoding.h"

// The header a host describes the picture with: RGB stored top line first
// has a negative height.
BITMAPINFOHEADER FormatOf(const Picture& picture);

// Where a field's top line lies in the picture's bytes, and the stride from
// one of its lines to the next one below.
struct FieldPlace {
    ptrdiff_t offset;
    int32_t stride;
};
FieldPlace FieldPlaceOf(const Picture& picture, int field);

// Both fields through QFC_CompressFieldSized into exactly `capacity` bytes
// (QFC_MaxFrameSize when 0); the frame, or nothing when a field is refused.
std::vector<uint8_t> CompressFields(void* handle, const Picture& picture, uint32_t capacity = 0);

// Both fields through QFC_DecompressFieldSized from an exact copy of the
// frame; a refusal (negative) if either field was refused, else the larger
// result.
int32_t DecompressFields(void* handle, const std::vector<uint8_t>& frame, Picture* picture);

// ICM_COMPRESS_GET_FORMAT, ICM_COMPRESS_BEGIN and ICM_COMPRESS into exactly
// ICM_COMPRESS_GET_SIZE bytes; the frame, or nothing when refused.
std::vector<uint8_t> CompressMessages(uintptr_t id, const Picture& picture);

// ICM_DECOMPRESS_QUERY (which settles the line order), ICM_DECOMPRESS_BEGIN
// and ICM_DECOMPRESS from an exact copy of the frame, whose size the input
// header states.
LRESULT DecompressMessages(uintptr_t id, const std::vector<uint8_t>& frame, Picture* picture);
