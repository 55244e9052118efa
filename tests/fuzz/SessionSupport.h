// SPDX-License-Identifier: BSD-2-Clause
// What the session targets share. Their input is a program: a stream of
// operations, each an opcode byte and the argument bytes it reads, run
// against a few instances the way a misbehaving host would call them. The
// pictures are pieces of the conformance photograph, the frames real codings
// of them (or damaged copies), and every result is checked against what the
// public header promises and against a reference coding on handles of its
// own.
#pragma once

#include "FuzzSupport.h"

#include <algorithm>

// Sessions stay fast: pictures up to this size take part in frames; larger
// geometries only go through format messages.
constexpr uint64_t MAX_SESSION_PIXELS = 128 * 1024;

// Bytes past every output buffer that nothing may write.
constexpr size_t GUARD_BYTES = 32;
constexpr uint8_t GUARD_BYTE = 0xC3;
constexpr uint8_t UNWRITTEN = 0xA5;

// The operation stream; reads past its end give zeros, so every input is a
// program.
struct OpReader {
    const uint8_t* data;
    size_t size;
    size_t at;
};

inline bool MoreOps(const OpReader& reader)
{
    return reader.at < reader.size;
}

inline uint8_t ReadByte(OpReader* reader)
{
    return reader->at < reader->size ? reader->data[reader->at++] : 0;
}

inline int32_t ReadInt16(OpReader* reader)
{
    const uint8_t low = ReadByte(reader);
    return int16_t(uint16_t(low | ReadByte(reader) << 8));
}

// A picture format as a host states it: any width and height, one of the
// layouts (the RGB ones also as 'DIB ', the refused one also as 'YUY2').
struct SessionFormat {
    int32_t width;
    int32_t height;
    uint8_t layout;     // FuzzLayout
    bool otherCoding;   // 'DIB ' for BGR, 'YUY2' for the refused layout
};

// Three bytes: mostly small geometries of either line order, sometimes one
// from a list of hostile or large ones.
inline SessionFormat ReadFormat(OpReader* reader)
{
    static const int32_t ODD_WIDTHS[] = {0, -16, 720, 1920, 65536, 0x7FFFFFFF, 16, 8};
    static const int32_t ODD_HEIGHTS[] = {0, 1, -1, 486, -1080, 0x40000000, INT32_MIN, 2};
    const uint8_t w = ReadByte(reader), h = ReadByte(reader), kind = ReadByte(reader);
    SessionFormat format;
    format.width = w < 0xF8 ? w % 97 + 1 : ODD_WIDTHS[w & 7];
    format.height = h < 0xF8 ? int8_t(h) / 2 + (int8_t(h) < 0 ? -1 : 1) : ODD_HEIGHTS[h & 7];
    format.layout = uint8_t(kind % FUZZ_LAYOUT_COUNT);
    format.otherCoding = kind & 0x10;
    return format;
}

inline BITMAPINFOHEADER SessionHeader(const SessionFormat& format)
{
    BITMAPINFOHEADER header = FuzzPictureHeader(format.layout, format.width, format.height);
    if (format.otherCoding)
        header.biCompression = format.layout == FUZZ_REFUSED_RGB16 ? mmioFOURCC('Y', 'U', 'Y', '2')
                               : format.layout == FUZZ_UYVY        ? header.biCompression
                                                                   : mmioFOURCC('D', 'I', 'B', ' ');
    return header;
}

inline bool SupportedLayout(const SessionFormat& format)
{
    return format.layout != FUZZ_REFUSED_RGB16;
}

inline uint64_t SessionLines(int32_t height)
{
    return height < 0 ? 0 - uint64_t(int64_t(height)) : uint64_t(height);
}

// Small enough to take part in frames.
inline bool SessionPictureFits(const SessionFormat& format)
{
    return format.width > 0 && format.height != 0 &&
           uint64_t(format.width) * SessionLines(format.height) <= MAX_SESSION_PIXELS;
}

// width x |height| x 6, as ICM_COMPRESS_GET_SIZE announces it; 0 beyond 32 bits.
inline uint64_t AnnouncedFrameBytes(int32_t width, int32_t height)
{
    if (width <= 0 || height == 0)
        return 0;
    const uint64_t bytes = uint64_t(width) * SessionLines(height) * 6;
    return bytes <= UINT32_MAX ? bytes : 0;
}

inline FuzzPicture SessionPicture(const SessionFormat& format, size_t padding)
{
    FuzzPicture picture = {format.layout, format.width, format.height, 0};
    picture.pitch = FuzzLineBytes(picture) + padding;
    return picture;
}

// An output buffer of `size` bytes followed by guard bytes.
struct GuardedBuffer {
    std::vector<uint8_t> bytes;
    size_t size;
};

inline GuardedBuffer MakeGuarded(size_t size, uint8_t fill)
{
    GuardedBuffer buffer = {std::vector<uint8_t>(size + GUARD_BYTES, GUARD_BYTE), size};
    std::fill_n(buffer.bytes.begin(), size, fill);
    return buffer;
}

inline void CheckGuard(const GuardedBuffer& buffer, const char* what)
{
    if (!AllBytesAre(buffer.bytes.data() + buffer.size, GUARD_BYTES, GUARD_BYTE))
        FuzzFailure(what);
}

// The conformance photograph, UYVY top line first, built into the program.
constexpr int PHOTO_WIDTH = 720;
constexpr int PHOTO_HEIGHT = 486;
extern const unsigned char FUZZ_PHOTO_UYVY[];
extern const size_t FUZZ_PHOTO_UYVY_SIZE;

inline const std::vector<uint8_t>& Photo()
{
    static const std::vector<uint8_t> photo = [] {
        if (FUZZ_PHOTO_UYVY_SIZE != size_t(PHOTO_WIDTH) * PHOTO_HEIGHT * 2)
            FuzzFailure("the built-in photograph has another size");
        return std::vector<uint8_t>(FUZZ_PHOTO_UYVY, FUZZ_PHOTO_UYVY + FUZZ_PHOTO_UYVY_SIZE);
    }();
    return photo;
}

// A picture in the host's memory layout, its lines cut from the photograph
// from one of four places (`choice`), the photograph's bytes taken as they
// come whatever the layout; padding after each line.
inline std::vector<uint8_t> PhotoPicture(const FuzzPicture& picture, uint8_t choice)
{
    const std::vector<uint8_t>& photo = Photo();
    const size_t photoLine = size_t(PHOTO_WIDTH) * 2;
    const size_t start = (choice % 4) * (photo.size() / 5) + (choice / 4 % 64) * 2;
    std::vector<uint8_t> bytes(FuzzPictureBytes(picture), 0x5A);
    const size_t lineBytes = FuzzLineBytes(picture);
    for (size_t line = 0; line < FuzzLines(picture); ++line) {
        // A line may run past the photograph's end and go on at its start.
        size_t from = (start + line * photoLine) % photo.size();
        for (size_t done = 0; done < lineBytes;) {
            const size_t run = std::min(lineBytes - done, photo.size() - from);
            std::copy_n(photo.begin() + ptrdiff_t(from), run, bytes.begin() + ptrdiff_t(line * picture.pitch + done));
            done += run;
            from = 0;
        }
    }
    return bytes;
}

// Where a host puts the two fields of one frame: each field's top line and
// the distance to its next line.
struct FieldLines {
    const uint8_t* firstLine[2];
    int32_t stride[2];
};

inline FieldLines FieldLinesOf(const uint8_t* picture, const FuzzPicture& layout)
{
    FieldLines lines;
    for (int field = 0; field < 2; ++field) {
        const FuzzField at = FuzzFieldOf(layout, field);
        lines.firstLine[field] = picture + at.offset;
        lines.stride[field] = at.stride;
    }
    return lines;
}

// Codes both fields through a reference handle kept for the header, with
// room for any frame; empty when the codec refuses it.
inline std::vector<uint8_t> ReferenceEncode(const BITMAPINFOHEADER& format, const FieldLines& lines, int quality)
{
    static FuzzKeptHandle kept;
    void* handle = FuzzFieldHandle(kept, format, FUZZ_FAST_KERNELS, QFC_CompressFieldBegin, QFC_CompressFieldEnd);
    if (QFC_SetQuality(handle, quality) != 0)
        return {};
    std::vector<uint8_t> frame(QFC_MaxFrameSize(format.biWidth, format.biHeight));
    uint32_t bytes = 0;
    for (int field = 0; field < 2 && !frame.empty(); ++field) {
        bytes = QFC_CompressFieldSized(handle, frame.data(), uint32_t(frame.size()), lines.firstLine[field],
                                       lines.stride[field], field);
        if (bytes == 0)
            return {};
    }
    frame.resize(bytes);
    return frame;
}

// One field decoded through a reference handle kept for the header, sized
// (QFC_DecompressFieldSized) or not (QFC_DecompressField); its result.
inline int32_t ReferenceDecodeField(const BITMAPINFOHEADER& format, uint8_t* firstLine, int32_t stride,
                                    const uint8_t* frame, uint32_t frameSize, bool sized, int32_t fieldIndex)
{
    static FuzzKeptHandle kept;
    void* handle = FuzzFieldHandle(kept, format, FUZZ_FAST_KERNELS, QFC_DecompressFieldBegin,
                                   QFC_DecompressFieldEnd);
    // The session's handles decode on their workers; the reference on the
    // caller's thread alone, which is also the cheaper way.
    QFC_SetSliceThreads(handle, 1);
    return sized ? QFC_DecompressFieldSized(handle, firstLine, frame, frameSize, stride, fieldIndex)
                 : QFC_DecompressField(handle, firstLine, frame, stride, fieldIndex);
}

// Both fields decoded by the reference into a picture prefilled as the
// session's was; unsized, the frame's own lengths are trusted as far as
// QFC_DecompressField does.
inline std::vector<uint8_t> ReferenceDecode(const BITMAPINFOHEADER& format, const FuzzPicture& layout,
                                            const std::vector<uint8_t>& frame, bool sized)
{
    std::vector<uint8_t> picture(FuzzPictureBytes(layout), UNWRITTEN);
    for (int field = 0; field < 2; ++field) {
        const FuzzField at = FuzzFieldOf(layout, field);
        ReferenceDecodeField(format, picture.data() + at.offset, at.stride, frame.data(), uint32_t(frame.size()),
                             sized, field);
    }
    return picture;
}

// A frame for `format`: the photograph coded at a quality, as it is or
// damaged. Five bytes: the picture, the quality, the damage and where.
inline std::vector<uint8_t> ReadFrame(OpReader* reader, const SessionFormat& format)
{
    const uint8_t choice = ReadByte(reader), quality = ReadByte(reader), damage = ReadByte(reader);
    const uint8_t at = ReadByte(reader), value = ReadByte(reader);
    std::vector<uint8_t> frame;
    if (SessionPictureFits(format) && SupportedLayout(format)) {
        const FuzzPicture layout = SessionPicture(format, 0);
        const std::vector<uint8_t> picture = PhotoPicture(layout, choice);
        const BITMAPINFOHEADER header = SessionHeader(format);
        frame = ReferenceEncode(header, FieldLinesOf(picture.data(), layout), 50 + quality % 50);
    }
    if (frame.empty())
        frame.assign(16, value);
    const size_t where = (size_t(at) * 7919 + value) % frame.size();
    switch (damage % 6) {
    case 1:  // a flipped byte anywhere
        frame[where] ^= value | 1;
        break;
    case 2:  // cut short
        frame.resize(where);
        break;
    case 3:  // another quality byte
        frame[0] = value;
        break;
    case 4:  // a byte of the field-0 length or of a slice length
        frame[1 + at % std::min<size_t>(frame.size() - 1, 6)] = value;
        break;
    case 5:  // trailing bytes
        frame.insert(frame.end(), at, value);
        break;
    default:
        break;
    }
    return frame;
}
