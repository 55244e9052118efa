// SPDX-License-Identifier: BSD-2-Clause
// The compression manager's frame messages: one call codes or decodes both
// fields of an interlaced frame.
#pragma once

#include "platform/Vfw.h"

struct DriverInstance;

// ICM_COMPRESS. Codes the frame with the geometry the last accepted BEGIN
// recorded, into no more than the announced width x height x 6 bytes; always
// marks the frame a key frame.
LRESULT CompressFrame(ICCOMPRESS* request, DriverInstance* instance);

// ICM_DECOMPRESS. Reads no more of the compressed frame than its header's
// biSizeImage, or than the largest frame of that geometry when it is 0.
LRESULT DecompressFrame(const ICDECOMPRESS* request, DriverInstance* instance);
