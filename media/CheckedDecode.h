// SPDX-License-Identifier: BSD-2-Clause
// Decoding a frame as it comes from a file: parsed first, so that a cut or
// garbled frame is named precisely and never reaches the codec.
#pragma once

#include "Codec.h"

#include <string>

// GOOD, or DAMAGED / REFUSED with `problem` saying what is wrong. The
// picture is not usable unless the outcome is GOOD. The last line of an odd
// height, which the codec does not code, repeats the line of its field above.
DecodeOutcome DecodeCheckedFrame(CodecSession& session, const uint8_t* coded, uint32_t size, uint8_t* picture,
                                 size_t lineStride, std::string& problem);
