// SPDX-License-Identifier: BSD-2-Clause
#include "FrameLayout.h"

namespace {

uint32_t Read24(const uint8_t* at)
{
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16;
}

// Walks the four slices of a field that starts at `start` and may use the
// bytes up to `end`; returns the first byte after them, or 0 with `problem`
// set when a slice length is impossible.
size_t WalkSlices(const uint8_t* data, size_t start, size_t end, int field, FieldLayout& layout,
                  std::string& problem)
{
    size_t at = start;
    for (int k = 0; k < SLICES_PER_FIELD; ++k) {
        const std::string name = "slice " + std::to_string(k) + " of field " + std::to_string(field);
        if (end - at < SLICE_HEADER_BYTES) {
            problem = name + " is missing";
            return 0;
        }
        const uint32_t length = Read24(data + at);
        if (length < SLICE_HEADER_BYTES) {
            problem = name + " has the impossible length " + std::to_string(length);
            return 0;
        }
        if (length > end - at) {
            problem = name + " runs " + std::to_string(length - (end - at)) + " bytes past the end of the " +
                      (field == 0 ? "field" : "frame");
            return 0;
        }
        layout.sliceBytes[k] = length;
        at += length;
    }
    return at;
}

}  // namespace

FrameLayout ParseFrameLayout(const uint8_t* data, size_t size)
{
    FrameLayout frame;
    if (size < FRAME_HEADER_BYTES) {
        frame.problem = "the frame is only " + std::to_string(size) + " bytes long";
        return frame;
    }
    frame.quality = data[0];
    if (frame.quality < 1 || frame.quality > 99) {
        frame.problem = "the quality byte " + std::to_string(frame.quality) + " is outside 1..99";
        return frame;
    }
    const uint32_t field0Bytes = Read24(data + 1);
    if (field0Bytes < FRAME_HEADER_BYTES + SLICES_PER_FIELD * SLICE_HEADER_BYTES || field0Bytes > size) {
        frame.problem = "field 0 claims " + std::to_string(field0Bytes) + " bytes of a " + std::to_string(size) +
                        "-byte frame";
        return frame;
    }
    const size_t field0End = WalkSlices(data, FRAME_HEADER_BYTES, field0Bytes, 0, frame.fields[0], frame.problem);
    if (field0End == 0)
        return frame;
    if (field0End != field0Bytes) {
        frame.problem = "the slices of field 0 end at byte " + std::to_string(field0End) + ", not at " +
                        std::to_string(field0Bytes);
        return frame;
    }
    frame.fields[0].bytes = field0Bytes;
    const size_t field1End = WalkSlices(data, field0Bytes, size, 1, frame.fields[1], frame.problem);
    if (field1End == 0)
        return frame;
    frame.fields[1].bytes = uint32_t(field1End - field0Bytes);
    frame.spareBytes = uint32_t(size - field1End);
    return frame;
}
