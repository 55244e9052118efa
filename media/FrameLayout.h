// SPDX-License-Identifier: BSD-2-Clause
// The structure of one coded frame as stored in a file: the quality byte,
// then field 0 (with its 24-bit length) and field 1, each four slices with
// their own 24-bit lengths. Reading it needs no decoding, so `info` can show
// it and every command can tell a cut or garbled frame before decoding it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

constexpr int SLICES_PER_FIELD = 4;
constexpr uint32_t FRAME_HEADER_BYTES = 4;
constexpr uint32_t SLICE_HEADER_BYTES = 3;

struct FieldLayout {
    uint32_t bytes = 0;
    std::array<uint32_t, SLICES_PER_FIELD> sliceBytes = {};
};

struct FrameLayout {
    int quality = 0;
    std::array<FieldLayout, 2> fields;
    uint32_t spareBytes = 0;  // after field 1: harmless, some writers round up
    std::string problem;      // empty when the frame is whole
};

FrameLayout ParseFrameLayout(const uint8_t* data, size_t size);
