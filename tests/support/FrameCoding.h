// SPDX-License-Identifier: BSD-2-Clause
// Whole frames through the engine, split into fields the way the frame entry
// points split them, plus picture files and hashes for golden tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "codec/CodecInstance.h"
#include "codec/FieldCoder.h"

struct Picture {
    uint32_t pixelFormat;
    int width;
    int height;
    bool bottomUp;  // RGB stored last line first, as device-independent bitmaps are
    std::vector<uint8_t> bytes;
};

int BytesPerPixel(uint32_t pixelFormat);
size_t LineBytes(const Picture& picture);

// Instance geared to the picture's geometry; destroyed by the deleter.
struct InstanceDeleter {
    void operator()(CodecInstance* instance) const { DestroyCodecInstance(instance); }
};
using InstancePtr = std::unique_ptr<CodecInstance, InstanceDeleter>;
InstancePtr MakeInstance(const Picture& picture, int quality = 95);

// Codes both fields; returns the frame (empty when the engine refused it).
std::vector<uint8_t> EncodeFrame(CodecInstance* instance, const Picture& picture, size_t capacity = 0);

// Decodes both fields into `picture` (its geometry and layout must be set);
// returns the worse status of the two fields.
FieldStatus DecodeFrame(CodecInstance* instance, const std::vector<uint8_t>& frame, Picture* picture);

std::vector<uint8_t> ReadTestFile(const std::string& relativePath);
Picture ReadVectorPicture(const std::string& name, uint32_t pixelFormat, int width, int height, bool bottomUp);

uint64_t Fnv1a64(const std::vector<uint8_t>& bytes);

// Peak signal-to-noise ratio of one 8-bit component: every `step`-th byte
// from `first`.
double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, size_t first, size_t step);
