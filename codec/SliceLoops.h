// SPDX-License-Identifier: BSD-2-Clause
// Walking one slice of a field: band b of the field (eight field lines) belongs
// to slice b mod 4; within a band, macroblocks go from left to right. A last
// band shorter than eight lines is coded as whole macroblocks of which only
// its lines are read or written.
#pragma once

#include <cstddef>
#include <cstdint>

#include "entropy/BitReader.h"
#include "entropy/BitWriter.h"

struct CodecInstance;

void EncodeSliceUYVY(const CodecInstance* instance, const uint8_t* base, ptrdiff_t stride, int slice, BitWriter* writer);
void EncodeSliceBGR24(const CodecInstance* instance, const uint8_t* base, ptrdiff_t stride, int slice, BitWriter* writer);
void EncodeSliceBGR32(const CodecInstance* instance, const uint8_t* base, ptrdiff_t stride, int slice, BitWriter* writer);

void DecodeSliceUYVY(const CodecInstance* instance, uint8_t* base, ptrdiff_t stride, int slice, BitReader* reader);
void DecodeSliceBGR24(const CodecInstance* instance, uint8_t* base, ptrdiff_t stride, int slice, BitReader* reader);
void DecodeSliceBGR32(const CodecInstance* instance, uint8_t* base, ptrdiff_t stride, int slice, BitReader* reader);

// Macroblocks in one slice of a field of the instance's geometry.
uint32_t SliceMacroblockCount(const CodecInstance* instance, int slice);
