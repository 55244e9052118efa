// SPDX-License-Identifier: BSD-2-Clause
// Coding pictures of any geometry. The input is pixel bytes, repeated to fill
// the picture, followed by the case tail: width, signed height, layout and
// kernels, the quality (50 + mode % 50) and the second way in (mode / 50,
// even or odd), the padding a field caller puts after each line (extra[0])
// and the index it gives field 1 (extra[1]; any non-zero value).
//
// The picture is coded by the field functions into the QFC_MaxFrameSize
// bytes that any picture fits (the reference), and then a second way, into
// the width x height x 6 bytes the driver announces: by QFC_CompressField
// from the padded picture, or twice by ICM_COMPRESS on one instance from the
// contiguous one (the reference then codes that one too). A checked case
// codes the reference with the plain kernels as well. Every coding must give
// the same bytes (or, for the layout the codec does not know, none); the
// second way may refuse a frame only when it does not fit its buffer with
// room to spare. The reference must then decode without a damaged field.
#include "FuzzSupport.h"

#include <algorithm>

namespace {

constexpr int MIN_QUALITY = QF25_MIN_QUALITY;
constexpr int QUALITY_COUNT = 50;
constexpr int HOST_QUALITY_STEP = 200;  // ICM_SETQUALITY's 0..10000 per quality step
// The bit writer reaches 8 bytes past its position and a field record clears
// 16 bytes ahead; a frame closer than that to the end of its buffer may be
// refused.
constexpr size_t REFUSAL_MARGIN = 32;
constexpr uint8_t PADDING_BYTE = 0x5A;

// The second way a picture is coded.
enum SecondWay : uint8_t { UNSIZED_FIELDS, DRIVER };

struct EncodeCase {
    FuzzPicture picture;  // padded for the field functions, contiguous for the driver
    SecondWay way;
    FuzzKernels kernels;
    bool checked;  // the reference coded with the plain kernels too
    int quality;
    int32_t field1Index;
};

bool ReadCase(const FuzzCase& input, EncodeCase* c)
{
    const FuzzTail& tail = input.tail;
    if (!FuzzGeometryFits(tail))
        return false;
    c->way = SecondWay(tail.mode / QUALITY_COUNT % 2);
    c->kernels = FirstKernels(tail);
    c->checked = tail.kernels == FUZZ_CHECKED_KERNELS;
    c->picture = {tail.layout, tail.width, tail.height, 0};
    c->picture.pitch = FuzzLineBytes(c->picture) + (c->way == DRIVER ? 0 : tail.extra[0]);
    c->quality = MIN_QUALITY + tail.mode % QUALITY_COUNT;
    c->field1Index = tail.extra[1] == 0 ? 1 : int8_t(tail.extra[1]);
    return true;
}

// Pixel bytes depend on their line and column only.
std::vector<uint8_t> FillPicture(const FuzzPicture& picture, const FuzzCase& input)
{
    std::vector<uint8_t> bytes(FuzzPictureBytes(picture), PADDING_BYTE);
    const size_t lineBytes = FuzzLineBytes(picture);
    size_t next = 0;
    for (size_t line = 0; line < FuzzLines(picture); ++line) {
        uint8_t* at = bytes.data() + line * picture.pitch;
        for (size_t i = 0; i < lineBytes; ++i, ++next)
            at[i] = input.bodySize == 0 ? 0 : input.body[next % input.bodySize];
    }
    return bytes;
}

// The frame in a buffer of exactly its size; empty when `bytes` is 0.
std::vector<uint8_t> Trimmed(const std::vector<uint8_t>& buffer, uint32_t bytes)
{
    return std::vector<uint8_t>(buffer.begin(), buffer.begin() + bytes);
}

size_t DriverCapacity(const FuzzPicture& picture)
{
    return size_t(picture.width) * FuzzLines(picture) * 6;
}

// Through the field functions: sized into QFC_MaxFrameSize bytes, or
// unsized into the driver's capacity.
std::vector<uint8_t> EncodeThroughFields(const EncodeCase& c, const std::vector<uint8_t>& picture, bool sized,
                                         FuzzKernels kernels)
{
    static FuzzKeptHandle kept[FUZZ_KERNEL_SETS];
    const FuzzPicture& layout = c.picture;
    const BITMAPINFOHEADER format = FuzzPictureHeader(layout.layout, layout.width, layout.height);
    void* handle = FuzzFieldHandle(kept[kernels], format, kernels, QFC_CompressFieldBegin, QFC_CompressFieldEnd);
    if (QFC_SetQuality(handle, c.quality) != 0)
        FuzzFailure("QFC_SetQuality refused a quality in 50..99");
    std::vector<uint8_t> frame(sized ? QFC_MaxFrameSize(layout.width, layout.height) : DriverCapacity(layout));
    uint32_t bytes = 0;
    for (int field = 0; field < 2; ++field) {
        const FuzzField at = FuzzFieldOf(layout, field);
        const uint8_t* firstLine = picture.data() + at.offset;
        const int32_t index = field == 0 ? 0 : c.field1Index;
        bytes = sized ? QFC_CompressFieldSized(handle, frame.data(), uint32_t(frame.size()), firstLine, at.stride,
                                               index)
                      : QFC_CompressField(handle, frame.data(), firstLine, at.stride, index);
        if (bytes == 0)
            break;
    }
    return Trimmed(frame, bytes);
}

// Two frames of the contiguous picture, as a host codes a sequence; each is
// empty when refused.
struct DriverFrames {
    std::vector<uint8_t> frames[2];
    size_t capacity;
};

DriverFrames EncodeThroughDriver(const EncodeCase& c, const std::vector<uint8_t>& picture)
{
    const FuzzPicture& layout = c.picture;
    const uintptr_t id = FuzzDriverInstance(c.kernels);
    int32_t hostQuality = (c.quality - MIN_QUALITY) * HOST_QUALITY_STEP;
    FuzzSend(id, ICM_SETQUALITY, &hostQuality, nullptr);
    BITMAPINFOHEADER input = FuzzPictureHeader(layout.layout, layout.width, layout.height);
    // The query records the line order; it refuses widths that are not a
    // multiple of 16, which BEGIN still takes.
    FuzzSend(id, ICM_COMPRESS_QUERY, &input, nullptr);
    BITMAPINFOHEADER output = {};
    FuzzSend(id, ICM_COMPRESS_GET_FORMAT, &input, &output);
    DriverFrames result = {{}, size_t(FuzzSend(id, ICM_COMPRESS_GET_SIZE, &input, &output))};
    if (result.capacity != DriverCapacity(layout) || FuzzSend(id, ICM_COMPRESS_BEGIN, &input, &output) != ICERR_OK)
        FuzzFailure("the driver does not take a picture that fits");
    for (int round = 0; round < 2; ++round) {
        std::vector<uint8_t> frame(result.capacity);
        DWORD chunkId = 0;
        DWORD flags = 0;
        ICCOMPRESS request = {};
        request.lpbiOutput = &output;
        request.lpOutput = frame.data();
        request.lpbiInput = &input;
        request.lpInput = const_cast<uint8_t*>(picture.data());
        request.lpckid = &chunkId;
        request.lpdwFlags = &flags;
        request.lFrameNum = round;
        const bool coded = FuzzSend(id, ICM_COMPRESS, &request, nullptr) == ICERR_OK;
        if (flags != AVIIF_KEYFRAME)
            FuzzFailure("ICM_COMPRESS did not mark a key frame");
        result.frames[round] = Trimmed(frame, coded ? output.biSizeImage : 0);
    }
    FuzzSend(id, ICM_COMPRESS_END, nullptr, nullptr);
    return result;
}

void CheckSameFrame(const std::vector<uint8_t>& frame, const std::vector<uint8_t>& reference, size_t capacity,
                    const char* what)
{
    if (frame.empty() ? reference.size() + REFUSAL_MARGIN <= capacity : frame != reference)
        FuzzFailure(what);
}

void CheckDecodes(const EncodeCase& c, const std::vector<uint8_t>& frame)
{
    const FuzzPicture& layout = c.picture;
    static FuzzKeptHandle kept[FUZZ_KERNEL_SETS];
    const BITMAPINFOHEADER format = FuzzPictureHeader(layout.layout, layout.width, layout.height);
    void* handle =
        FuzzFieldHandle(kept[c.kernels], format, c.kernels, QFC_DecompressFieldBegin, QFC_DecompressFieldEnd);
    // One thread: the decoding is a check here, not what is fuzzed.
    QFC_SetSliceThreads(handle, 1);
    std::vector<uint8_t> picture(FuzzPictureBytes(layout));
    for (int field = 0; field < 2; ++field) {
        const FuzzField at = FuzzFieldOf(layout, field);
        if (QFC_DecompressFieldSized(handle, picture.data() + at.offset, frame.data(), uint32_t(frame.size()),
                                     at.stride, field) != 0)
            FuzzFailure("a frame just coded does not decode cleanly");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzCase input;
    EncodeCase c;
    if (!SplitFuzzInput(data, size, &input) || !ReadCase(input, &c))
        return 0;
    const std::vector<uint8_t> picture = FillPicture(c.picture, input);
    const std::vector<uint8_t> reference = EncodeThroughFields(c, picture, true, c.kernels);
    if (c.checked && EncodeThroughFields(c, picture, true, FUZZ_PLAIN_KERNELS) != reference)
        FuzzFailure("the plain kernels code the picture differently");
    DriverFrames second = {};
    if (c.way == UNSIZED_FIELDS)
        second.frames[0] = second.frames[1] = EncodeThroughFields(c, picture, false, c.kernels);
    else
        second = EncodeThroughDriver(c, picture);
    if (c.picture.layout == FUZZ_REFUSED_RGB16) {
        if (!reference.empty() || !second.frames[0].empty() || !second.frames[1].empty())
            FuzzFailure("a layout the codec does not know was coded");
        return 0;
    }
    if (reference.empty())
        FuzzFailure("a picture does not fit QFC_MaxFrameSize bytes");
    CheckSameFrame(second.frames[0], reference, DriverCapacity(c.picture),
                   c.way == DRIVER ? "ICM_COMPRESS disagrees with the field functions"
                                   : "QFC_CompressField disagrees with QFC_CompressFieldSized");
    if (second.frames[1] != second.frames[0])
        FuzzFailure("ICM_COMPRESS codes the same picture differently the second time");
    CheckDecodes(c, reference);
    return 0;
}
