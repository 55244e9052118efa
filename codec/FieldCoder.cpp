// SPDX-License-Identifier: BSD-2-Clause
#include "codec/FieldCoder.h"

#include "codec/CodecInstance.h"
#include "codec/SliceCoder.h"
#include "codec/SliceWorker.h"
#include "entropy/BitWriter.h"
#include "entropy/EntropyCode.h"

namespace {

// Clearing ahead touches the first 16 bytes of a field record.
constexpr uint32_t FIELD_CLEAR_BYTES = 16;

uint32_t EncodeSlices(CodecInstance* instance, BitWriter* writer, const uint8_t* firstLine, ptrdiff_t stride)
{
    for (int k = 0; k < SLICE_COUNT; ++k) {
        if (!EncodeSlice(instance, writer, firstLine, stride, k, instance->pixelFormat))
            return 0;
    }
    return writer->overflow ? 0 : BytesUsed(writer);
}

// Finds the field's slices. A slice whose length is impossible or reaches past
// the data is read as empty data, and so are the slices after it, which can no
// longer be found.
bool LocateSlices(const uint8_t* frame, uint32_t size, uint32_t offset, SliceSpan spans[SLICE_COUNT])
{
    bool intact = true;
    for (int k = 0; k < SLICE_COUNT; ++k) {
        uint32_t length = 0;
        if (intact && offset <= size && size - offset >= SLICE_HEADER_BYTES) {
            length = LoadLE24(frame + offset);
            intact = length >= SLICE_HEADER_BYTES && length <= size - offset;
        } else {
            intact = false;
        }
        spans[k] = intact ? SliceSpan{frame + offset, length} : SliceSpan{nullptr, 0};
        if (intact)
            offset += length;
    }
    return intact;
}

// Offset of the field's first slice, or 0 when the frame cannot hold it.
uint32_t FieldOffset(const uint8_t* frame, uint32_t size, int fieldIndex)
{
    if (size < FIELD0_HEADER_BYTES)
        return 0;
    if (fieldIndex == 0)
        return FIELD0_HEADER_BYTES;
    const uint32_t s0 = LoadLE24(frame + 1);
    return s0 >= FIELD0_HEADER_BYTES + SLICE_COUNT * SLICE_HEADER_BYTES && s0 <= size ? s0 : 0;
}

}  // namespace

uint32_t EncodeField(CodecInstance* instance, uint8_t* frame, uint32_t capacity, const uint8_t* firstLine,
                     ptrdiff_t stride, int fieldIndex)
{
    BitWriter writer;
    if (fieldIndex == 0) {
        if (capacity < FIELD_CLEAR_BYTES)
            return 0;
        Reset(&writer, frame, capacity);
        frame[0] = uint8_t(instance->quality);
        SetPosition(&writer, FIELD0_HEADER_BYTES * 8);
        const uint32_t s0 = EncodeSlices(instance, &writer, firstLine, stride);
        if (s0 == 0 || s0 > MAX_RECORD_BYTES)
            return 0;
        StoreLE24(frame + 1, s0);
        return s0;
    }
    if (capacity < FIELD0_HEADER_BYTES)
        return 0;
    const uint32_t s0 = LoadLE24(frame + 1);
    if (s0 < FIELD0_HEADER_BYTES || s0 > capacity || capacity - s0 < FIELD_CLEAR_BYTES)
        return 0;
    Reset(&writer, frame + s0, capacity - s0);
    const uint32_t s1 = EncodeSlices(instance, &writer, firstLine, stride);
    return s1 == 0 ? 0 : s0 + s1;
}

FieldStatus DecodeField(CodecInstance* instance, const uint8_t* frame, uint32_t size, uint8_t* firstLine,
                        ptrdiff_t stride, int fieldIndex)
{
    const uint32_t offset = FieldOffset(frame, size, fieldIndex);
    if (offset == 0)
        return FIELD_REFUSED;
    SetQuality(instance, frame[0]);
    SliceSpan spans[SLICE_COUNT];
    bool damaged = !LocateSlices(frame, size, offset, spans);
    if (instance->sliceThreads == 1) {
        for (int k = 0; k < SLICE_COUNT; ++k)
            damaged |= DecodeSlice(instance, spans[k].data, spans[k].size, firstLine, stride, k,
                                   instance->pixelFormat);
    } else {
        damaged |= DecodeSlicesOnWorkers(instance, spans, firstLine, stride);
    }
    return damaged ? FIELD_DAMAGED : FIELD_OK;
}

uint64_t MaxFrameBytes(int32_t width, int32_t height)
{
    if (width <= 0 || height <= 0)
        return FIELD0_HEADER_BYTES + 2 * SLICE_COUNT * SLICE_HEADER_BYTES;
    const uint64_t bands = (uint64_t(height) + 15) / 16;
    const uint64_t macroblocksPerField = uint64_t(width / 16) * bands;
    const uint64_t macroblockBytes = 4 * MAX_BLOCK_BYTES;
    // Each slice adds its length and at most one byte of fill.
    const uint64_t fieldBytes = SLICE_COUNT * (SLICE_HEADER_BYTES + 1) + macroblocksPerField * macroblockBytes;
    return FIELD0_HEADER_BYTES + 2 * fieldBytes;
}

bool FrameFits(const uint8_t* frame, uint32_t size)
{
    SliceSpan spans[SLICE_COUNT];
    const uint32_t offset1 = FieldOffset(frame, size, 1);
    return offset1 != 0 && LocateSlices(frame, offset1, FIELD0_HEADER_BYTES, spans) &&
           spans[SLICE_COUNT - 1].data + spans[SLICE_COUNT - 1].size == frame + offset1 &&
           LocateSlices(frame, size, offset1, spans);
}

uint32_t DeclaredFrameBytes(const uint8_t* frame, uint32_t limit)
{
    const uint32_t offset1 = FieldOffset(frame, limit, 1);
    SliceSpan spans[SLICE_COUNT];
    if (offset1 == 0 || !LocateSlices(frame, limit, offset1, spans))
        return 0;
    return uint32_t(spans[SLICE_COUNT - 1].data + spans[SLICE_COUNT - 1].size - frame);
}
