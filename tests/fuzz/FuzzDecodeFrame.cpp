// SPDX-License-Identifier: BSD-2-Clause
// Decoding hostile frames. The input is a compressed frame followed by the
// case tail: the picture's width, signed height, layout and kernels, in
// `mode` the way in (bits 0-1: ICM_DECOMPRESS with or without the frame's
// size in its header, or the field functions with or without it) and, for the
// field functions, the slice threads (bit 2: four rather than one), in
// extra[0] the index given to field 1 and in extra[1] the padding a field
// caller puts after each line. The frame
// is copied into a buffer of exactly its size, so that a read past it trips
// AddressSanitizer; where the caller gives no size the buffer is as large as
// the largest frame of the geometry, as far as the codec may trust the
// frame's own lengths.
//
// A checked case is decoded twice, with the processor's kernels and with the
// plain ones, and both must report the same and write the same bytes. The
// bytes the codec never writes
// (columns right of the last whole macroblock, the last line of an odd
// height, the padding between lines, a picture it refuses) must keep what
// they held.
#include "FuzzSupport.h"

#include <algorithm>

namespace {

constexpr uint8_t UNTOUCHED = 0xA5;

struct DecodeCase {
    FuzzPicture picture;
    FuzzDecodeEntry entry;
    int32_t sliceThreads;  // of the field functions' handle
    int32_t field1Index;   // any non-zero index means field 1
};

struct DecodeResult {
    intptr_t status[2];  // the driver's result in [0]; per field for the field functions
    std::vector<uint8_t> picture;
};

bool ThroughDriver(const DecodeCase& c)
{
    return c.entry == DRIVER_SIZED || c.entry == DRIVER_UNSIZED;
}

void DecodeThroughDriver(const DecodeCase& c, const std::vector<uint8_t>& frame, FuzzKernels kernels,
                         DecodeResult* result)
{
    const FuzzPicture& picture = c.picture;
    const uintptr_t id = FuzzDriverInstance(kernels);
    BITMAPINFOHEADER input = FuzzPictureHeader(picture.layout, picture.width, std::abs(picture.height));
    input.biCompression = mmioFOURCC('Q', 'F', '2', '5');
    input.biSizeImage = c.entry == DRIVER_SIZED ? uint32_t(frame.size()) : 0;
    BITMAPINFOHEADER output = FuzzPictureHeader(picture.layout, picture.width, picture.height);
    FuzzSend(id, ICM_DECOMPRESS_QUERY, &input, &output);
    FuzzSend(id, ICM_DECOMPRESS_BEGIN, &input, &output);
    ICDECOMPRESS request = {};
    request.lpbiInput = &input;
    request.lpInput = frame.empty() ? nullptr : const_cast<uint8_t*>(frame.data());
    request.lpbiOutput = &output;
    request.lpOutput = result->picture.data();
    result->status[0] = FuzzSend(id, ICM_DECOMPRESS, &request, nullptr);
    FuzzSend(id, ICM_DECOMPRESS_END, nullptr, nullptr);
}

void DecodeThroughFields(const DecodeCase& c, const std::vector<uint8_t>& frame, FuzzKernels kernels,
                         DecodeResult* result)
{
    static FuzzKeptHandle kept[FUZZ_KERNEL_SETS];
    const BITMAPINFOHEADER format = FuzzPictureHeader(c.picture.layout, c.picture.width, c.picture.height);
    void* handle =
        FuzzFieldHandle(kept[kernels], format, kernels, QFC_DecompressFieldBegin, QFC_DecompressFieldEnd);
    if (QFC_SetSliceThreads(handle, c.sliceThreads) != 0)
        FuzzFailure("QFC_SetSliceThreads refused 1 or 4");
    for (int field = 0; field < 2; ++field) {
        const FuzzField at = FuzzFieldOf(c.picture, field);
        uint8_t* firstLine = result->picture.data() + at.offset;
        const int32_t index = field == 0 ? 0 : c.field1Index;
        if (c.entry == FIELDS_SIZED)
            result->status[field] = QFC_DecompressFieldSized(handle, firstLine, frame.data(), uint32_t(frame.size()),
                                                             at.stride, index);
        else
            result->status[field] = QFC_DecompressField(handle, firstLine, frame.data(), at.stride, index);
    }
}

DecodeResult Decode(const DecodeCase& c, const std::vector<uint8_t>& frame, FuzzKernels kernels)
{
    DecodeResult result = {{0, 0}, std::vector<uint8_t>(FuzzPictureBytes(c.picture), UNTOUCHED)};
    if (ThroughDriver(c))
        DecodeThroughDriver(c, frame, kernels, &result);
    else
        DecodeThroughFields(c, frame, kernels, &result);
    return result;
}

bool Untouched(const uint8_t* bytes, size_t count)
{
    return AllBytesAre(bytes, count, UNTOUCHED);
}

// Checks every byte outside the coded area: for the refused format and a
// refused frame the whole picture.
void CheckUncodedBytes(const DecodeCase& c, const DecodeResult& result)
{
    const FuzzPicture& picture = c.picture;
    if (picture.layout == FUZZ_REFUSED_RGB16 || (ThroughDriver(c) && result.status[0] != ICERR_OK)) {
        if (!Untouched(result.picture.data(), result.picture.size()))
            FuzzFailure("a refused picture or frame was written to");
        return;
    }
    const size_t lines = FuzzLines(picture);
    const size_t codedBytes = FuzzPixelBytes(picture.layout) * size_t(picture.width / 16 * 16);
    const size_t codedLines = lines / 2 * 2;
    for (size_t line = 0; line < lines; ++line) {
        // Memory line `line` holds picture line `top`, counted from the top.
        const size_t top = FuzzBottomUp(picture) ? lines - 1 - line : line;
        const size_t from = top < codedLines ? codedBytes : 0;
        const size_t end = line + 1 < lines ? picture.pitch : FuzzLineBytes(picture);
        if (!Untouched(result.picture.data() + line * picture.pitch + from, end - from))
            FuzzFailure("bytes outside the coded macroblocks were written");
    }
}

bool ReadCase(const FuzzCase& input, DecodeCase* c)
{
    const FuzzTail& tail = input.tail;
    if (!FuzzGeometryFits(tail))
        return false;
    c->entry = FuzzDecodeEntry(tail.mode % ENTRY_COUNT);
    c->sliceThreads = tail.mode & 4 ? 4 : 1;
    c->field1Index = tail.extra[0] == 0 ? 1 : int8_t(tail.extra[0]);
    // The driver's pictures are contiguous; field callers may pad their lines.
    c->picture = {tail.layout, tail.width, tail.height, 0};
    c->picture.pitch = FuzzLineBytes(c->picture) + (ThroughDriver(*c) ? 0 : tail.extra[1]);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzCase input;
    DecodeCase c;
    if (!SplitFuzzInput(data, size, &input) || !ReadCase(input, &c))
        return 0;
    // The plain twins take many times as long as the processor's kernels and
    // run the same code at any size: a large picture runs the fast ones only.
    if (input.tail.large && (input.tail.kernels == FUZZ_PLAIN_KERNELS || input.tail.kernels == FUZZ_CHECKED_KERNELS))
        input.tail.kernels = FUZZ_FAST_KERNELS;
    const bool sized = c.entry == DRIVER_SIZED || c.entry == FIELDS_SIZED;
    const size_t frameBytes = sized ? input.bodySize
                                    : std::max<size_t>(input.bodySize,
                                                       QFC_MaxFrameSize(c.picture.width, c.picture.height));
    std::vector<uint8_t> frame(frameBytes);
    std::copy(input.body, input.body + input.bodySize, frame.begin());

    const DecodeResult first = Decode(c, frame, FirstKernels(input.tail));
    CheckUncodedBytes(c, first);
    if (input.tail.kernels != FUZZ_CHECKED_KERNELS)
        return 0;
    const DecodeResult second = Decode(c, frame, FUZZ_PLAIN_KERNELS);
    if (first.status[0] != second.status[0] || first.status[1] != second.status[1])
        FuzzFailure("the plain kernels report another result");
    if (first.picture != second.picture)
        FuzzFailure("the plain kernels give other bytes");
    return 0;
}
