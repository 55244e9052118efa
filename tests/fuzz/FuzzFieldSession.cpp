// SPDX-License-Identifier: BSD-2-Clause
// Field-function sessions in any order. The input is a stream of operations
// on three handle slots: Begin (either kind, any format), End (either kind),
// SetQuality and SetSliceThreads with any value, and field calls with both
// fields, the wrong field's lines, field 1 before field 0, repeated fields,
// two frame buffers or pictures per handle, and sizes from a few bytes to
// exact.
//
// Checked: every result is one the header documents; nothing is written past
// a frame buffer's stated capacity or outside a picture (guard bytes); a
// field coded after an accepted field 0 in the same buffer, at the quality
// field 0 was coded with, gives the reference handle's frame; every decoding
// call gives the reference handle's result and bytes from the same starting
// picture.
#include "SessionOps.h"
#include "SessionSupport.h"

namespace {

constexpr int SLOTS = 3;
constexpr int BUFFERS = 2;

// A frame buffer as the host keeps it between field calls.
struct FrameBuffer {
    GuardedBuffer bytes;
    const uint8_t* field0Line;  // the lines field 0 was coded from; null unless it was accepted
    int32_t field0Stride;
    int field0Quality;
};

struct Slot {
    void* handle;
    bool compressor;  // from QFC_CompressFieldBegin
    SessionFormat format;
    BITMAPINFOHEADER header;
    FuzzPicture layout;
    int quality;  // 0 when a decoding may have changed it
    std::vector<uint8_t> source;
    FrameBuffer frames[BUFFERS];
    GuardedBuffer pictures[BUFFERS];
};

void Expect(bool holds, const char* what)
{
    if (!holds)
        FuzzFailure(what);
}

void End(Slot* slot, bool asCompressor)
{
    const int32_t result = asCompressor ? QFC_CompressFieldEnd(slot->handle) : QFC_DecompressFieldEnd(slot->handle);
    Expect(result == 0, "an End returned another value than 0");
    *slot = Slot{};
}

void Begin(Slot* slot, OpReader* reader)
{
    if (slot->handle)
        End(slot, slot->compressor);
    const uint8_t kind = ReadByte(reader);
    slot->format = ReadFormat(reader);
    slot->header = SessionHeader(slot->format);
    slot->compressor = kind & 1;
    slot->handle = slot->compressor ? QFC_CompressFieldBegin(&slot->header) : QFC_DecompressFieldBegin(&slot->header);
    Expect((slot->handle != nullptr) == (AnnouncedFrameBytes(slot->format.width, slot->format.height) != 0),
           "a Begin refused a format that fits or took one that does not");
    if (!slot->handle || !SessionPictureFits(slot->format))
        return;
    slot->quality = 95;
    slot->layout = SessionPicture(slot->format, kind / 2 % 8);
    slot->source = PhotoPicture(slot->layout, kind);
}

void SetQuality(Slot* slot, OpReader* reader)
{
    const int32_t quality = int32_t(ReadByte(reader)) - 20;
    const bool valid = slot->handle && quality >= 50 && quality <= 99;
    const int32_t result = QFC_SetQuality(slot->handle, quality);
    Expect(valid ? result == 0 : result < 0, "QFC_SetQuality gave another result");
    if (valid)
        slot->quality = quality;
}

void SetSliceThreads(Slot* slot, OpReader* reader)
{
    const int32_t threads = ReadByte(reader) % 6;
    const int32_t result = QFC_SetSliceThreads(slot->handle, threads);
    Expect(slot->handle && (threads == 1 || threads == 4) ? result == 0 : result < 0,
           "QFC_SetSliceThreads gave another result");
}

// The field the call names, the lines it gives (its own field's, or the other
// field's) and the distance between them (the field's, a line's, or a few
// bytes).
struct FieldCall {
    int32_t index;
    int lines;
    int32_t stride;
};

FieldCall ReadFieldCall(const Slot& slot, OpReader* reader)
{
    static const int32_t INDICES[] = {0, 1, 0, 1, -1, 2};
    const uint8_t kind = ReadByte(reader);
    FieldCall call = {INDICES[kind % 6], (kind / 6 % 4 == 3) ^ (INDICES[kind % 6] != 0), 0};
    const FuzzField at = FuzzFieldOf(slot.layout, call.lines);
    const int32_t sign = at.stride < 0 ? -1 : 1;
    switch (kind / 24 % 4) {
    case 1:
        call.stride = at.stride / 2;
        break;
    case 2:
        call.stride = sign * 16;
        break;
    default:
        call.stride = at.stride;
        break;
    }
    return call;
}

// Capacities from a few bytes to exact: a frame buffer's size changes only
// with its capacity and keeps the bytes that still fit.
uint32_t ReadCapacity(const Slot& slot, OpReader* reader, bool* sized)
{
    const uint8_t kind = ReadByte(reader);
    const auto largest = QFC_MaxFrameSize(slot.format.width, slot.format.height);
    *sized = kind % 5 != 0;
    switch (kind % 5) {
    case 0:  // QFC_CompressField: the announced size
        return uint32_t(AnnouncedFrameBytes(slot.format.width, slot.format.height));
    case 1:
        return kind / 5;
    case 2:
        return largest - std::min<uint32_t>(largest, kind / 5 * 16);
    default:
        return largest;
    }
}

void Resize(GuardedBuffer* buffer, size_t size)
{
    if (buffer->size == size && !buffer->bytes.empty())
        return;
    GuardedBuffer resized = MakeGuarded(size, 0x66);
    std::copy_n(buffer->bytes.begin(), std::min(buffer->size, size), resized.bytes.begin());
    *buffer = std::move(resized);
}

void CompressField(Slot* slot, OpReader* reader)
{
    const FieldCall call = ReadFieldCall(*slot, reader);
    FrameBuffer& frame = slot->frames[ReadByte(reader) % BUFFERS];
    bool sized = true;
    const uint32_t capacity = ReadCapacity(*slot, reader, &sized);
    Resize(&frame.bytes, capacity);
    const uint8_t* firstLine = slot->source.data() + FuzzFieldOf(slot->layout, call.lines).offset;
    uint8_t* out = frame.bytes.bytes.data();
    const uint32_t bytes =
        sized ? QFC_CompressFieldSized(slot->handle, out, capacity, firstLine, call.stride, call.index)
              : QFC_CompressField(slot->handle, out, firstLine, call.stride, call.index);
    CheckGuard(frame.bytes, "a field was written past the frame buffer's capacity");
    Expect(bytes <= capacity, "a field call reported more bytes than its buffer holds");
    if (call.index == 0) {
        frame.field0Line = bytes ? firstLine : nullptr;
        frame.field0Stride = call.stride;
        frame.field0Quality = slot->quality;
        if (bytes)
            Expect(slot->quality == 0 || out[0] == slot->quality, "field 0 was coded at another quality");
        return;
    }
    // The reference codes at the qualities QFC_SetQuality takes.
    const bool comparable = frame.field0Line && frame.field0Quality >= 50 && frame.field0Quality <= 99 &&
                            frame.field0Quality == slot->quality;
    const FieldLines lines = {{frame.field0Line, firstLine}, {frame.field0Stride, call.stride}};
    frame.field0Line = nullptr;
    if (!comparable)
        return;
    const std::vector<uint8_t> reference = ReferenceEncode(slot->header, lines, slot->quality);
    // The reference has room for any frame; the session's call may lack it.
    if (bytes != 0)
        Expect(std::equal(out, out + bytes, reference.begin(), reference.end()),
               "a frame coded in two calls differs from the reference");
}

void DecompressField(Slot* slot, OpReader* reader)
{
    const FieldCall call = ReadFieldCall(*slot, reader);
    GuardedBuffer& picture = slot->pictures[ReadByte(reader) % BUFFERS];
    const uint8_t kind = ReadByte(reader);
    std::vector<uint8_t> frame = kind & 1 && !slot->frames[0].bytes.bytes.empty()
                                     ? std::vector<uint8_t>(slot->frames[0].bytes.bytes.begin(),
                                                            slot->frames[0].bytes.bytes.begin() +
                                                                ptrdiff_t(slot->frames[0].bytes.size))
                                     : ReadFrame(reader, slot->format);
    // Unsized, the codec may read as far as the largest frame of the geometry.
    const bool sized = kind % 8 != 0;
    if (!sized)
        frame.resize(std::max<size_t>(frame.size(), QFC_MaxFrameSize(slot->format.width, slot->format.height)));
    const uint32_t frameSize = kind & 2 ? uint32_t(frame.size()) : uint32_t(frame.size()) * (kind / 8 % 4) / 4;
    if (frame.empty())
        return;
    Resize(&picture, FuzzPictureBytes(slot->layout));
    std::vector<uint8_t> expected = picture.bytes;
    const ptrdiff_t offset = FuzzFieldOf(slot->layout, call.lines).offset;
    const int32_t result =
        sized ? QFC_DecompressFieldSized(slot->handle, picture.bytes.data() + offset, frame.data(), frameSize,
                                         call.stride, call.index)
              : QFC_DecompressField(slot->handle, picture.bytes.data() + offset, frame.data(), call.stride,
                                    call.index);
    CheckGuard(picture, "a field was written outside the picture");
    Expect(sized ? result <= 1 : result == 0, "a decoding call gave a result the header does not document");
    const int32_t expectedResult = ReferenceDecodeField(slot->header, expected.data() + offset, call.stride,
                                                        frame.data(), frameSize, sized, call.index);
    Expect(result == expectedResult && expected == picture.bytes,
           "a decoding call differs from the reference's from the same picture");
    if (result >= 0)
        slot->quality = sized ? frame[0] : 0;
}

void Run(Slot* slots, OpReader* reader)
{
    const FieldOp op = FieldOpOf(ReadByte(reader));
    Slot& slot = slots[ReadByte(reader) % SLOTS];
    switch (op) {
    case FIELD_BEGIN:
        return Begin(&slot, reader);
    case FIELD_END:
        return End(&slot, ReadByte(reader) & 1);
    case FIELD_SET_QUALITY:
        return SetQuality(&slot, reader);
    case FIELD_SET_SLICE_THREADS:
        return SetSliceThreads(&slot, reader);
    default:
        // Field calls need a handle whose picture takes part in sessions.
        if (slot.handle && !slot.source.empty())
            return op == FIELD_COMPRESS ? CompressField(&slot, reader) : DecompressField(&slot, reader);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Slot slots[SLOTS] = {};
    OpReader reader = {data, size, 0};
    while (MoreOps(reader))
        Run(slots, &reader);
    for (Slot& slot : slots)
        End(&slot, slot.compressor);
    return 0;
}
