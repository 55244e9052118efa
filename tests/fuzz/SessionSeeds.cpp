// SPDX-License-Identifier: BSD-2-Clause
#include "SessionSeeds.h"

#include <initializer_list>

#include "SessionOps.h"

namespace {

// Arguments as the targets read them (see ReadFormat, ReadFrame and each
// operation's reader).
constexpr uint8_t UYVY = 0, BGR24 = 1, BGR32 = 2, RGB16 = 3, YUY2 = 0x13;
constexpr uint8_t SLOT0 = 0, SLOT1 = 1, SLOT2 = 2;
constexpr uint8_t PREVIOUS = 1, NEW = 0;

struct Format {
    uint8_t bytes[3];
};

// Widths up to 97; heights of 1..64 lines, or -5..-64 for top line first.
Format Fmt(int width, int height, uint8_t layout)
{
    const int code = height > 0 ? 2 * height - 2 : 2 * height + 1;
    return {{uint8_t(width - 1), uint8_t(code), layout}};
}

// The photograph at a quality (50..99), with one of the damages.
struct Frame {
    uint8_t bytes[5];
};

Frame RealFrame(uint8_t choice, int quality)
{
    return {{choice, uint8_t(quality - 50), 0, 0, 0}};
}

Frame Damaged(uint8_t choice, uint8_t damage, uint8_t at, uint8_t value)
{
    return {{choice, 45, damage, at, value}};
}

class Writer {
public:
    Writer& Op(std::initializer_list<uint8_t> bytes)
    {
        out.insert(out.end(), bytes);
        return *this;
    }
    Writer& With(const Format& format)
    {
        out.insert(out.end(), format.bytes, format.bytes + 3);
        return *this;
    }
    Writer& With(const Frame& frame)
    {
        out.insert(out.end(), frame.bytes, frame.bytes + 5);
        return *this;
    }
    std::vector<uint8_t> out;
};

// The driver's messages, one helper per operation.
Writer& Library(Writer& w, uint8_t which)  // DRV_LOAD, DRV_ENABLE, DRV_DISABLE, DRV_FREE
{
    return w.Op({OP_LIBRARY, which});
}

Writer& Open(Writer& w, uint8_t slot, uint8_t kind)  // 0 qf25, 1 QF25, 2 mjpg, 3 not video, 4 no ICOPEN
{
    return w.Op({OP_OPEN, slot, kind});
}

Writer& SetQuality(Writer& w, uint8_t slot, int value)
{
    return w.Op({OP_QUALITY, slot, 8, uint8_t(value), uint8_t(value >> 8)});
}

Writer& GetQuality(Writer& w, uint8_t slot)
{
    return w.Op({OP_QUALITY, slot, 9, 0, 0});
}

// The sequence the compression manager sends for ICCompressQuery,
// ICCompressGetFormatSize, ICCompressGetFormat, ICCompressGetSize and
// ICCompressBegin.
Writer& CompressSetup(Writer& w, uint8_t slot, const Format& format)
{
    w.Op({OP_COMPRESS_QUERY, slot, 0}).With(format);
    w.Op({OP_COMPRESS_GET_FORMAT, slot, NEW}).With(format).Op({0});
    w.Op({OP_COMPRESS_GET_FORMAT, slot, NEW}).With(format).Op({1});
    w.Op({OP_COMPRESS_GET_SIZE, slot, NEW}).With(format).Op({1});
    return w.Op({OP_COMPRESS_BEGIN, slot, NEW}).With(format);
}

Writer& CompressFrame(Writer& w, uint8_t slot, uint8_t choice)
{
    return w.Op({OP_COMPRESS, slot, PREVIOUS, choice});
}

// Decompress query with the output, both GET_FORMAT forms, BEGIN.
Writer& DecompressSetup(Writer& w, uint8_t slot, const Format& input, const Format& output)
{
    w.Op({OP_DECOMPRESS_QUERY, slot, 0}).With(input).With(output);
    w.Op({OP_DECOMPRESS_GET_FORMAT, slot, 0}).With(input);
    w.Op({OP_DECOMPRESS_GET_FORMAT, slot, 1}).With(input);
    return w.Op({OP_DECOMPRESS_BEGIN, slot, NEW}).With(input).With(output);
}

// kind: 1 the formats of the last BEGIN, 2 the instance's own last frame,
// 4 no size in the input header.
Writer& DecompressFrame(Writer& w, uint8_t slot, uint8_t kind, const Frame& frame)
{
    w.Op({OP_DECOMPRESS, slot, kind});
    return kind & 2 ? w : w.With(frame);
}

// VfwHost: ICOpen for compression and for decompression through a
// registered DLL, one frame each way.
std::vector<uint8_t> VfwRoundTrip(const Format& picture)
{
    Writer w;
    Library(w, 0);
    Library(w, 1);
    Open(w, SLOT2, 4);  // the manager's own session instance
    Open(w, SLOT0, 0);
    w.Op({OP_GETINFO, SLOT0, 1});
    GetQuality(w, SLOT0);
    SetQuality(w, SLOT0, 10000);
    GetQuality(w, SLOT0);
    w.Op({OP_OTHER, SLOT0, 0});  // ICM_GETDEFAULTQUALITY
    SetQuality(w, SLOT0, 9000);
    CompressSetup(w, SLOT0, picture);
    CompressFrame(w, SLOT0, 0);
    w.Op({OP_COMPRESS_END, SLOT0});
    w.Op({OP_CLOSE, SLOT0});
    Open(w, SLOT0, 0);
    CompressSetup(w, SLOT0, picture);
    CompressFrame(w, SLOT0, 1);
    DecompressSetup(w, SLOT0, picture, picture);
    DecompressFrame(w, SLOT0, 1 | 2, {});
    w.Op({OP_DECOMPRESS_END, SLOT0});
    w.Op({OP_CLOSE, SLOT0});
    w.Op({OP_CLOSE, SLOT2});
    Library(w, 2);
    return Library(w, 3).out;
}

// AVIStreamGetFrameOpen and reading: ICInfo with identifier 0, ICLocate's
// queries (also another codec's format), GET_FORMAT into a buffer without
// asking the size, BEGIN, sized frames, END.
std::vector<uint8_t> AviFileRead()
{
    const Format qf25 = Fmt(64, 32, UYVY), bgr32 = Fmt(64, 32, BGR32);
    Writer w;
    w.Op({OP_GETINFO, SLOT1, 4});
    Open(w, SLOT0, 0);
    w.Op({OP_DECOMPRESS_QUERY, SLOT0, 14}).With(qf25);  // MJPG: not ours
    w.Op({OP_DECOMPRESS_QUERY, SLOT0, 12}).With(qf25);  // no wanted format
    w.Op({OP_DECOMPRESS_GET_FORMAT, SLOT0, 1}).With(qf25);
    w.Op({OP_DECOMPRESS_BEGIN, SLOT0, NEW}).With(qf25).With(bgr32);
    for (uint8_t choice = 0; choice < 3; ++choice)
        DecompressFrame(w, SLOT0, 1, RealFrame(choice, 95));
    w.Op({OP_DECOMPRESS_END, SLOT0});
    return w.Op({OP_CLOSE, SLOT0}).out;
}

// AVIMakeCompressedStream and AVIStreamWrite: no query, no SETQUALITY, no
// close; ICSeqCompressFrame after it: BEGIN and frames only.
std::vector<uint8_t> AviFileWrite()
{
    const Format picture = Fmt(48, 17, BGR24);
    Writer w;
    Open(w, SLOT0, 1);
    w.Op({OP_OTHER, SLOT0, 0});  // ICM_GETDEFAULTQUALITY
    w.Op({OP_GETINFO, SLOT0, 1});
    w.Op({OP_OTHER, SLOT0, 4});  // ICM_COMPRESS_FRAMES_INFO
    w.Op({OP_COMPRESS_GET_FORMAT, SLOT0, NEW}).With(picture).Op({1});
    w.Op({OP_COMPRESS_GET_SIZE, SLOT0, NEW}).With(picture).Op({1});
    w.Op({OP_COMPRESS_BEGIN, SLOT0, NEW}).With(picture);
    for (uint8_t choice = 0; choice < 3; ++choice)
        CompressFrame(w, SLOT0, choice);
    Open(w, SLOT1, 0);
    w.Op({OP_COMPRESS_BEGIN, SLOT1, NEW}).With(Fmt(32, -24, BGR32));
    CompressFrame(w, SLOT1, 0);
    return CompressFrame(w, SLOT1, 1).out;
}

// Frames after END, BEGIN twice with different formats, frames in the
// previous BEGIN's format, decompression with the format of the previous
// BEGIN after a compress BEGIN, damaged frames sized and unsized.
std::vector<uint8_t> HostileOrder()
{
    const Format first = Fmt(64, 32, UYVY), second = Fmt(32, 16, BGR32);
    Writer w;
    Open(w, SLOT0, 0);
    w.Op({OP_COMPRESS, SLOT0, NEW}).With(first).Op({0});  // before any BEGIN
    w.Op({OP_DECOMPRESS, SLOT0, 0}).With(first).With(first).With(RealFrame(0, 95));
    CompressSetup(w, SLOT0, first);
    w.Op({OP_COMPRESS_END, SLOT0});
    CompressFrame(w, SLOT0, 2);  // after END
    w.Op({OP_COMPRESS_BEGIN, SLOT0, NEW}).With(second);
    w.Op({OP_COMPRESS, SLOT0, NEW}).With(first).Op({3});  // the first BEGIN's picture
    CompressFrame(w, SLOT0, 3);
    w.Op({OP_DECOMPRESS_BEGIN, SLOT0, NEW}).With(second).With(second);
    DecompressFrame(w, SLOT0, 1 | 2, {});
    CompressFrame(w, SLOT0, 4);  // the decompression replaced the geometry
    for (uint8_t damage = 1; damage < 6; ++damage) {
        DecompressFrame(w, SLOT0, 1, Damaged(damage, damage, uint8_t(damage * 37), uint8_t(damage * 51)));
        DecompressFrame(w, SLOT0, 1 | 4, Damaged(damage, damage, uint8_t(damage * 11), uint8_t(damage * 13)));
    }
    w.Op({OP_GETINFO, SLOT0, 3, 10});  // 20 bytes, smaller than ICINFO
    w.Op({OP_GETINFO, SLOT0, 6});      // more than ICINFO, identifier 0
    w.Op({OP_QUALITY, SLOT0, 14, 0, 0});  // no value
    w.Op({OP_CLOSE, SLOT0});
    // Everything again on the closed slot, that is with identifier 0.
    CompressSetup(w, SLOT0, first);
    w.Op({OP_COMPRESS, SLOT0, NEW}).With(first).Op({0});
    return DecompressSetup(w, SLOT0, first, first).out;
}

// Three instances; one closed and opened again while another thread codes
// on another; opens of another type and handler.
std::vector<uint8_t> ThreeInstances()
{
    Writer w;
    Open(w, SLOT0, 0);
    Open(w, SLOT1, 2);
    Open(w, SLOT2, 3);
    Open(w, SLOT2, 4);
    w.Op({OP_COMPRESS_BEGIN, SLOT0, NEW}).With(Fmt(64, 32, UYVY));
    w.Op({OP_COMPRESS_BEGIN, SLOT1, NEW}).With(Fmt(48, -20, BGR32));
    w.Op({OP_CLOSE_WHILE_COMPRESSING, SLOT0, SLOT1, 3});
    w.Op({OP_COMPRESS_BEGIN, SLOT1, NEW}).With(Fmt(48, -20, BGR32));
    w.Op({OP_CLOSE_WHILE_COMPRESSING, SLOT1, SLOT2, 2});
    w.Op({OP_CLOSE_WHILE_COMPRESSING, SLOT0, SLOT2, 1});
    CompressFrame(w, SLOT0, 1);
    DecompressSetup(w, SLOT2, Fmt(64, 32, UYVY), Fmt(64, 32, BGR24));
    DecompressFrame(w, SLOT2, 1, RealFrame(1, 60));
    w.Op({OP_COMPRESS_QUERY, SLOT1, 0}).With(Fmt(40, 9, YUY2));
    w.Op({OP_COMPRESS_BEGIN, SLOT1, NEW}).With(Fmt(40, 9, RGB16));
    return CompressFrame(w, SLOT1, 0).out;
}

// The field functions: kind arguments as FuzzFieldSession reads them.
Writer& FieldBegin(Writer& w, uint8_t slot, bool compressor, uint8_t padding, const Format& format)
{
    return w.Op({FIELD_BEGIN, slot, uint8_t(compressor | padding << 1)}).With(format);
}

// call: 0 field 0, 1 field 1, 18 field 0 from field 1's lines, 4 field -1;
// capacity: 3 the largest frame, 0 the announced size (QFC_CompressField),
// 1 + 5n n bytes.
Writer& FieldCompress(Writer& w, uint8_t slot, uint8_t call, uint8_t buffer, uint8_t capacity)
{
    return w.Op({FIELD_COMPRESS, slot, call, buffer, capacity});
}

// kind: 1 the slot's first frame buffer as it stands, 2 the whole frame
// sized, 0 unsized, 8 + 2 sized, 9 a quarter of it.
Writer& FieldDecompress(Writer& w, uint8_t slot, uint8_t call, uint8_t picture, uint8_t kind, const Frame& frame)
{
    w.Op({FIELD_DECOMPRESS, slot, call, picture, kind});
    return kind & 1 ? w : w.With(frame);
}

std::vector<uint8_t> FieldHost()
{
    Writer w;
    FieldBegin(w, SLOT0, true, 0, Fmt(64, 32, UYVY));
    FieldBegin(w, SLOT1, false, 0, Fmt(64, 32, BGR24));
    for (uint8_t choice = 0; choice < 2; ++choice) {
        FieldCompress(w, SLOT0, 0, 0, 3);
        FieldCompress(w, SLOT0, 1, 0, 3);
        FieldDecompress(w, SLOT1, 0, 0, 2, RealFrame(choice, 95));
        FieldDecompress(w, SLOT1, 1, 0, 2, RealFrame(choice, 95));
    }
    w.Op({FIELD_END, SLOT0, 1});
    return w.Op({FIELD_END, SLOT1, 0}).out;
}

std::vector<uint8_t> FieldWrongOrder()
{
    Writer w;
    FieldBegin(w, SLOT0, true, 3, Fmt(48, 17, BGR32));
    FieldCompress(w, SLOT0, 1, 0, 3);   // field 1 first
    FieldCompress(w, SLOT0, 0, 0, 3);
    FieldCompress(w, SLOT0, 0, 0, 3);   // field 0 again
    FieldCompress(w, SLOT0, 4, 0, 3);   // field -1
    FieldCompress(w, SLOT0, 18, 1, 0);  // field 0 from field 1's lines, QFC_CompressField
    FieldCompress(w, SLOT0, 1, 1, 16);  // field 1 into 3 bytes
    FieldCompress(w, SLOT0, 1, 1, 0);
    FieldDecompress(w, SLOT0, 1, 0, 1 | 2, {});  // a compressor decoding its own frame, field 1 first
    FieldDecompress(w, SLOT0, 0, 0, 1 | 2, {});
    FieldDecompress(w, SLOT0, 0, 1, 9, {});  // a quarter of it
    FieldDecompress(w, SLOT0, 48, 1, 2, RealFrame(2, 80));  // lines a few bytes apart
    return w.Op({FIELD_END, SLOT0, 0}).out;
}

std::vector<uint8_t> FieldSettings()
{
    Writer w;
    FieldBegin(w, SLOT0, true, 0, Fmt(32, 16, BGR24));
    FieldBegin(w, SLOT1, false, 2, Fmt(32, 16, BGR24));
    FieldBegin(w, SLOT2, false, 0, Fmt(40, -9, UYVY));
    for (const uint8_t quality : {70, 119, 10, 120, 95}) {
        w.Op({FIELD_SET_QUALITY, SLOT0, quality});
        FieldCompress(w, SLOT0, 0, 0, 3);
        FieldCompress(w, SLOT0, 1, 0, 3);
    }
    for (const uint8_t threads : {1, 3, 4, 1}) {
        w.Op({FIELD_SET_SLICE_THREADS, SLOT1, threads});
        FieldDecompress(w, SLOT1, 0, 0, 0, RealFrame(threads, 60 + threads));
        FieldDecompress(w, SLOT1, 1, 0, 0, RealFrame(threads, 60 + threads));
        FieldDecompress(w, SLOT2, 0, 1, 2, Damaged(threads, threads, 3, 200));
    }
    w.Op({FIELD_SET_QUALITY, SLOT2, 60});
    w.Op({FIELD_END, SLOT0, 0});  // ends of the other kind
    w.Op({FIELD_END, SLOT1, 1});
    FieldBegin(w, SLOT0, true, 0, {{0xFA, 32, RGB16}});  // 720 wide, refused layout
    FieldCompress(w, SLOT0, 0, 0, 3);
    return FieldBegin(w, SLOT1, true, 0, {{0xF8, 32, UYVY}}).out;  // width 0
}

}  // namespace

std::vector<SessionSeed> DriverSessionSeeds()
{
    return {
        {"wine-vfw-uyvy-64x32", VfwRoundTrip(Fmt(64, 32, UYVY))},
        {"wine-vfw-bgr24-bottomup-48x17", VfwRoundTrip(Fmt(48, 17, BGR24))},
        {"wine-vfw-bgr32-topdown-32x24", VfwRoundTrip(Fmt(32, -24, BGR32))},
        {"wine-avifile-read", AviFileRead()},
        {"wine-avifile-write", AviFileWrite()},
        {"hostile-order", HostileOrder()},
        {"three-instances", ThreeInstances()},
    };
}

std::vector<SessionSeed> FieldSessionSeeds()
{
    return {
        {"field-host", FieldHost()},
        {"field-wrong-order", FieldWrongOrder()},
        {"field-settings", FieldSettings()},
    };
}
