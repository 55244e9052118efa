// SPDX-License-Identifier: BSD-2-Clause
// Whole driver sessions in any order. The input is a stream of operations on
// three instance slots, as hosts send them: library messages, opens with and
// without parameters, closes, information with any buffer size, quality,
// queries, formats, sizes, BEGIN with whatever format, frames before BEGIN,
// after END and with the format of an earlier BEGIN, and one instance
// closed while another thread compresses on another.
//
// Checked for every message: the result is one the header documents for it,
// nothing is written past the buffers it was given (guard bytes), a frame
// the driver accepted is a clean coding of its picture (the reference
// handle's bytes for the frame's quality, in one of the two line orders), a
// picture it decoded is the reference handle's decoding of the same frame,
// and a refused frame leaves the picture alone.
#include "SessionOps.h"
#include "SessionSupport.h"

#include "platform/Threads.h"

namespace {

constexpr int SLOTS = 3;
constexpr LRESULT DRIVER_OK = 1;
constexpr LRESULT INFO_BYTES = sizeof(ICINFO);
constexpr LRESULT HEADER_BYTES = sizeof(BITMAPINFOHEADER);
constexpr DWORD FOURCC_QF25 = QF25_FOURCC;

struct Slot {
    uintptr_t id;  // 0 when closed: messages then go with identifier 0
    int quality;   // the instance's quality, 0 when a refused frame may have changed it
    bool compressReady;
    bool decompressReady;
    SessionFormat compressFormat;  // of the last accepted BEGIN
    SessionFormat decompressInput;
    SessionFormat decompressOutput;
    std::vector<uint8_t> lastFrame;  // the last frame this instance coded
};

struct Session {
    Slot slots[SLOTS];
};


void Expect(bool holds, const char* what)
{
    if (!holds)
        FuzzFailure(what);
}

// Format and frame results: ICERR_OK or ICERR_BADFORMAT.
void ExpectOkOrBadFormat(LRESULT result, const char* message)
{
    if (result != ICERR_OK && result != ICERR_BADFORMAT) {
        std::fprintf(stderr, "%s returned %ld\n", message, long(result));
        FuzzFailure("a result the header does not document");
    }
}

Slot& ReadSlot(Session* session, OpReader* reader)
{
    return session->slots[ReadByte(reader) % SLOTS];
}

BITMAPINFOHEADER CompressedHeader(const SessionFormat& format, uint32_t fourcc)
{
    BITMAPINFOHEADER header = SessionHeader(format);
    header.biCompression = fourcc;
    header.biSizeImage = uint32_t(AnnouncedFrameBytes(format.width, format.height));
    return header;
}

void Close(Slot* slot)
{
    Expect(FuzzSend(slot->id, DRV_CLOSE, nullptr, nullptr) == DRIVER_OK, "DRV_CLOSE did not return 1");
    *slot = Slot{};
}

void Open(Slot* slot, uint8_t kind)
{
    if (slot->id != 0)
        Close(slot);
    static const DWORD TYPES[] = {ICTYPE_VIDEO, ICTYPE_VIDEO, ICTYPE_VIDEO, mmioFOURCC('a', 'u', 'd', 'c')};
    static const DWORD HANDLERS[] = {mmioFOURCC('q', 'f', '2', '5'), mmioFOURCC('Q', 'F', '2', '5'),
                                     mmioFOURCC('m', 'j', 'p', 'g'), mmioFOURCC('q', 'f', '2', '5')};
    ICOPEN parameters = {};
    parameters.dwSize = sizeof parameters;
    parameters.fccType = TYPES[kind % 4];
    parameters.fccHandler = HANDLERS[kind % 4];
    parameters.dwVersion = 0x1000;
    parameters.dwError = ICERR_BADFORMAT;
    // The compression manager's session instance comes without parameters.
    const bool withParameters = kind % 5 != 4;
    const auto id = uintptr_t(FuzzSend(0, DRV_OPEN, nullptr, withParameters ? &parameters : nullptr));
    if (withParameters)
        Expect(parameters.dwError == ICERR_OK, "DRV_OPEN left dwError set");
    if (withParameters && parameters.fccType != ICTYPE_VIDEO) {
        Expect(id == 0, "DRV_OPEN took a type other than vidc");
        return;
    }
    Expect(id != 0, "DRV_OPEN refused a video open");
    *slot = Slot{};
    slot->id = id;
    slot->quality = 95;
}

void GetInfo(Slot* slot, OpReader* reader)
{
    const uint8_t kind = ReadByte(reader);
    const uintptr_t id = kind & 4 ? 0 : slot->id;
    static const LRESULT SIZES[] = {0, INFO_BYTES, INFO_BYTES + 100, 0};
    const LRESULT size = kind % 4 == 3 ? ReadByte(reader) * 2 : SIZES[kind % 4];
    GuardedBuffer buffer = MakeGuarded(size_t(size == 0 ? INFO_BYTES : size), 0x11);
    auto* info = reinterpret_cast<ICINFO*>(buffer.bytes.data());
    const intptr_t result = DriverProc(id, nullptr, ICM_GETINFO, reinterpret_cast<intptr_t>(info), size);
    CheckGuard(buffer, "ICM_GETINFO wrote past its buffer");
    if (size != 0 && size < INFO_BYTES) {
        Expect(result == 0, "ICM_GETINFO took a buffer smaller than ICINFO");
        Expect(AllBytesAre(buffer.bytes.data(), size_t(size), 0x11),
               "ICM_GETINFO wrote into a buffer it refused");
        return;
    }
    Expect(result == INFO_BYTES && info->dwSize == INFO_BYTES, "ICM_GETINFO did not fill ICINFO");
    const auto* driverName = reinterpret_cast<const uint8_t*>(info->szDriver);
    Expect(AllBytesAre(driverName, sizeof info->szDriver, 0x11),
           "ICM_GETINFO wrote szDriver");
}

void Quality(Slot* slot, OpReader* reader)
{
    const uint8_t kind = ReadByte(reader);
    int32_t value = ReadInt16(reader) * (kind & 8 ? 1 : 3);
    const bool get = kind & 1;
    const bool null = kind % 16 == 14;
    const LRESULT result = FuzzSend(slot->id, get ? ICM_GETQUALITY : ICM_SETQUALITY, null ? nullptr : &value, nullptr);
    if (slot->id == 0) {
        Expect(result == ICERR_UNSUPPORTED, "a quality message without an instance was not unsupported");
        return;
    }
    if (null) {
        Expect(result == ICERR_BADPARAM, "a quality message without its value was taken");
        return;
    }
    Expect(result == ICERR_OK, "a quality message was refused");
    if (!get)
        slot->quality = std::clamp(value / 200 + 50, 50, 99);
    else if (slot->quality != 0)
        Expect(value == (slot->quality - 50) * 200, "ICM_GETQUALITY reports another quality");
}

// Formats go with the slot's last BEGIN, as hosts resend them, or new ones.
SessionFormat ReadFormatOr(OpReader* reader, const SessionFormat& previous, bool hasPrevious)
{
    const uint8_t kind = ReadByte(reader);
    return hasPrevious && kind % 2 ? previous : ReadFormat(reader);
}

void CompressGetFormat(const Slot& slot, OpReader* reader)
{
    const BITMAPINFOHEADER input = SessionHeader(ReadFormatOr(reader, slot.compressFormat, slot.compressReady));
    if (ReadByte(reader) % 3 == 0) {
        Expect(FuzzSend(slot.id, ICM_COMPRESS_GET_FORMAT, &input, nullptr) ==
                   (slot.id ? HEADER_BYTES : ICERR_BADFORMAT),
               "ICM_COMPRESS_GET_FORMAT did not give its format's size");
        return;
    }
    GuardedBuffer output = MakeGuarded(HEADER_BYTES, 0x22);
    auto* header = reinterpret_cast<BITMAPINFOHEADER*>(output.bytes.data());
    const LRESULT result = FuzzSend(slot.id, ICM_COMPRESS_GET_FORMAT, &input, header);
    ExpectOkOrBadFormat(result, "ICM_COMPRESS_GET_FORMAT");
    CheckGuard(output, "ICM_COMPRESS_GET_FORMAT wrote past the format");
    if (result == ICERR_OK)
        Expect(header->biCompression == FOURCC_QF25 &&
                   header->biSizeImage == AnnouncedFrameBytes(input.biWidth, input.biHeight),
               "ICM_COMPRESS_GET_FORMAT suggested another format");
}

void CompressGetSize(const Slot& slot, OpReader* reader)
{
    const SessionFormat format = ReadFormatOr(reader, slot.compressFormat, slot.compressReady);
    const BITMAPINFOHEADER input = SessionHeader(format);
    const BITMAPINFOHEADER output = CompressedHeader(format, FOURCC_QF25);
    const bool withOutput = ReadByte(reader) % 4 != 0;
    const LRESULT result = FuzzSend(slot.id, ICM_COMPRESS_GET_SIZE, &input, withOutput ? &output : nullptr);
    Expect(uint64_t(result) == AnnouncedFrameBytes(format.width, format.height),
           "ICM_COMPRESS_GET_SIZE announced another size");
}

void Begin(Slot* slot, OpReader* reader, bool compress)
{
    if (compress) {
        const SessionFormat format = ReadFormatOr(reader, slot->compressFormat, slot->compressReady);
        const BITMAPINFOHEADER input = SessionHeader(format);
        const LRESULT result = FuzzSend(slot->id, ICM_COMPRESS_BEGIN, &input, nullptr);
        ExpectOkOrBadFormat(result, "ICM_COMPRESS_BEGIN");
        slot->compressReady = slot->id != 0 && result == ICERR_OK;
        slot->compressFormat = format;
        return;
    }
    const bool previous = ReadByte(reader) % 2 && slot->decompressReady;
    const SessionFormat input = previous ? slot->decompressInput : ReadFormat(reader);
    const SessionFormat output = previous ? slot->decompressOutput : ReadFormat(reader);
    BITMAPINFOHEADER inputHeader = CompressedHeader(input, FOURCC_QF25);
    const BITMAPINFOHEADER outputHeader = SessionHeader(output);
    const LRESULT result = FuzzSend(slot->id, ICM_DECOMPRESS_BEGIN, &inputHeader, &outputHeader);
    ExpectOkOrBadFormat(result, "ICM_DECOMPRESS_BEGIN");
    slot->decompressReady = slot->id != 0 && result == ICERR_OK;
    slot->decompressInput = input;
    slot->decompressOutput = output;
}

void Query(const Slot& slot, OpReader* reader, bool compress)
{
    const uint8_t kind = ReadByte(reader);
    const SessionFormat format = ReadFormat(reader);
    if (compress) {
        const BITMAPINFOHEADER input = SessionHeader(format);
        ExpectOkOrBadFormat(FuzzSend(slot.id, ICM_COMPRESS_QUERY, &input, nullptr), "ICM_COMPRESS_QUERY");
        return;
    }
    // Any decoder is asked about formats that are not its own.
    static const DWORD FOURCCS[] = {FOURCC_QF25, mmioFOURCC('q', 'f', '2', '5'), mmioFOURCC('M', 'J', 'P', 'G')};
    const BITMAPINFOHEADER input = CompressedHeader(format, FOURCCS[kind % 3]);
    const BITMAPINFOHEADER output = SessionHeader(kind & 4 ? format : ReadFormat(reader));
    ExpectOkOrBadFormat(FuzzSend(slot.id, ICM_DECOMPRESS_QUERY, &input, kind & 8 ? nullptr : &output),
                        "ICM_DECOMPRESS_QUERY");
}

void DecompressGetFormat(const Slot& slot, OpReader* reader)
{
    const bool ask = ReadByte(reader) % 3 == 0;
    const BITMAPINFOHEADER input = CompressedHeader(ReadFormat(reader), FOURCC_QF25);
    if (ask) {
        Expect(FuzzSend(slot.id, ICM_DECOMPRESS_GET_FORMAT, &input, nullptr) == HEADER_BYTES,
               "ICM_DECOMPRESS_GET_FORMAT did not give its format's size");
        return;
    }
    GuardedBuffer output = MakeGuarded(HEADER_BYTES, 0x33);
    auto* header = reinterpret_cast<BITMAPINFOHEADER*>(output.bytes.data());
    const LRESULT result = FuzzSend(slot.id, ICM_DECOMPRESS_GET_FORMAT, &input, header);
    ExpectOkOrBadFormat(result, "ICM_DECOMPRESS_GET_FORMAT");
    CheckGuard(output, "ICM_DECOMPRESS_GET_FORMAT wrote past the format");
    if (result == ICERR_OK)
        Expect(header->biBitCount == 32 && header->biCompression == BI_RGB && header->biHeight > 0,
               "ICM_DECOMPRESS_GET_FORMAT suggested another format");
}

// The picture as the compressor may have read it: RGB in either line order.
bool SameCoding(const std::vector<uint8_t>& frame, const BITMAPINFOHEADER& header, const std::vector<uint8_t>& picture,
                const SessionFormat& format)
{
    if (frame[0] < 50 || frame[0] > 99)
        return false;
    for (const int32_t sign : {1, -1}) {
        FuzzPicture layout = SessionPicture(format, 0);
        layout.height = sign * int32_t(SessionLines(format.height));
        if (ReferenceEncode(header, FieldLinesOf(picture.data(), layout), frame[0]) == frame)
            return true;
    }
    return false;
}

// One ICM_COMPRESS with buffers of exactly the announced sizes; checks and
// returns its result.
LRESULT CompressOne(Slot* slot, const SessionFormat& format, uint8_t choice, bool withFlags)
{
    const BITMAPINFOHEADER input = SessionHeader(format);
    BITMAPINFOHEADER output = CompressedHeader(format, FOURCC_QF25);
    const FuzzPicture layout = SessionPicture(format, 0);
    const std::vector<uint8_t> picture = PhotoPicture(layout, choice);
    std::vector<uint8_t> exactPicture = picture;  // ends where the picture ends
    GuardedBuffer frame = MakeGuarded(output.biSizeImage, 0x44);
    DWORD flags = 0;
    DWORD chunkId = 0;
    ICCOMPRESS request = {};
    request.lpbiOutput = &output;
    request.lpOutput = frame.bytes.data();
    request.lpbiInput = const_cast<BITMAPINFOHEADER*>(&input);
    request.lpInput = exactPicture.data();
    request.lpckid = &chunkId;
    request.lpdwFlags = withFlags ? &flags : nullptr;
    const LRESULT result = FuzzSend(slot->id, ICM_COMPRESS, &request, nullptr);
    ExpectOkOrBadFormat(result, "ICM_COMPRESS");
    CheckGuard(frame, "ICM_COMPRESS wrote past the announced size");
    Expect(exactPicture == picture, "ICM_COMPRESS wrote to its input");
    if (slot->id == 0)
        return result;
    Expect(!withFlags || flags == AVIIF_KEYFRAME, "ICM_COMPRESS did not mark a key frame");
    if (result != ICERR_OK)
        return result;
    Expect(slot->compressReady, "ICM_COMPRESS coded a frame without an accepted BEGIN");
    Expect(output.biSizeImage > 0 && output.biSizeImage <= frame.size, "ICM_COMPRESS reported an impossible size");
    std::vector<uint8_t> coded(frame.bytes.begin(), frame.bytes.begin() + output.biSizeImage);
    Expect(slot->quality == 0 || coded[0] == slot->quality, "ICM_COMPRESS coded at another quality");
    if (coded[0] >= 50 && coded[0] <= 99)
        Expect(SameCoding(coded, input, picture, format), "ICM_COMPRESS gave bytes the reference does not");
    slot->lastFrame = std::move(coded);
    return result;
}

void Compress(Slot* slot, OpReader* reader)
{
    const SessionFormat format = ReadFormatOr(reader, slot->compressFormat, slot->compressReady);
    const uint8_t choice = ReadByte(reader);
    if (SessionPictureFits(format))
        CompressOne(slot, format, choice, choice % 8 != 7);
}

void Decompress(Slot* slot, OpReader* reader)
{
    const uint8_t kind = ReadByte(reader);
    const bool previous = slot->decompressReady && kind % 2;
    const SessionFormat input = previous ? slot->decompressInput : ReadFormat(reader);
    const SessionFormat output = previous ? slot->decompressOutput : ReadFormat(reader);
    // The frame this instance coded last, or a real or damaged one.
    std::vector<uint8_t> frame = kind & 2 && !slot->lastFrame.empty() ? slot->lastFrame : ReadFrame(reader, input);
    if (!SessionPictureFits(output) || !SessionPictureFits(input))
        return;
    const bool sized = !(kind & 4);
    BITMAPINFOHEADER inputHeader = CompressedHeader(input, FOURCC_QF25);
    inputHeader.biSizeImage = sized ? uint32_t(frame.size()) : 0;
    // Unsized, the driver may read as far as the largest frame of the geometry.
    std::vector<uint8_t> readable = frame;
    if (!sized)
        readable.resize(std::max<size_t>(frame.size(), QFC_MaxFrameSize(input.width, input.height)));
    const BITMAPINFOHEADER outputHeader = SessionHeader(output);
    const FuzzPicture layout = SessionPicture(output, 0);
    GuardedBuffer picture = MakeGuarded(FuzzPictureBytes(layout), UNWRITTEN);
    ICDECOMPRESS request = {};
    request.lpbiInput = &inputHeader;
    request.lpInput = readable.empty() ? nullptr : readable.data();
    request.lpbiOutput = const_cast<BITMAPINFOHEADER*>(&outputHeader);
    request.lpOutput = picture.bytes.data();
    const LRESULT result = FuzzSend(slot->id, ICM_DECOMPRESS, &request, nullptr);
    ExpectOkOrBadFormat(result, "ICM_DECOMPRESS");
    CheckGuard(picture, "ICM_DECOMPRESS wrote past the picture");
    if (result != ICERR_OK) {
        Expect(AllBytesAre(picture.bytes.data(), picture.size, UNWRITTEN),
               "a refused frame was written to the picture");
        if (!readable.empty() && readable[0] >= 1 && readable[0] <= 99)
            slot->quality = 0;
        return;
    }
    Expect(slot->id != 0 && slot->decompressReady, "ICM_DECOMPRESS decoded without an accepted BEGIN");
    slot->quality = readable[0];
    const std::vector<uint8_t> decoded(picture.bytes.begin(), picture.bytes.begin() + ptrdiff_t(picture.size));
    // The reference decodes with the output's geometry as the driver does.
    BITMAPINFOHEADER referenceFormat = outputHeader;
    referenceFormat.biWidth = input.width;
    referenceFormat.biHeight = input.height;
    for (const int32_t sign : {1, -1}) {
        FuzzPicture ordered = layout;
        ordered.height = sign * int32_t(SessionLines(output.height));
        if (ReferenceDecode(referenceFormat, ordered, sized ? frame : readable, sized) == decoded)
            return;
    }
    FuzzFailure("ICM_DECOMPRESS gave another picture than the reference");
}

void End(const Slot& slot, bool compress)
{
    Expect(FuzzSend(slot.id, compress ? ICM_COMPRESS_END : ICM_DECOMPRESS_END, nullptr, nullptr) == ICERR_OK,
           "an END message was refused");
}

// Messages whose result never depends on the instance.
void Other(const Slot& slot, OpReader* reader)
{
    struct Fixed {
        UINT message;
        LRESULT result;
    };
    static const Fixed FIXED[] = {
        {ICM_GETDEFAULTQUALITY, ICERR_UNSUPPORTED}, {ICM_GETBUFFERSWANTED, ICERR_UNSUPPORTED},
        {ICM_DECOMPRESSEX_QUERY, ICERR_UNSUPPORTED}, {ICM_USER + 0x20, ICERR_UNSUPPORTED},
        {ICM_COMPRESS_FRAMES_INFO, ICERR_OK},        {ICM_GETSTATE, ICERR_OK},
        {ICM_CONFIGURE, ICERR_OK},                   {ICM_ABOUT, ICERR_OK},
    };
    const Fixed& fixed = FIXED[ReadByte(reader) % (sizeof FIXED / sizeof FIXED[0])];
    Expect(DriverProc(slot.id, nullptr, fixed.message, -1, 0) == fixed.result, "a fixed message gave another result");
}

void Library(OpReader* reader)
{
    static const UINT MESSAGES[] = {DRV_LOAD, DRV_ENABLE, DRV_DISABLE, DRV_FREE};
    Expect(FuzzSend(0, MESSAGES[ReadByte(reader) % 4], nullptr, nullptr) == DRIVER_OK,
           "a library message was refused");
}

// The frames another thread codes on one instance.
struct Coder {
    Slot* slot;
    uint8_t frames;
};

uint32_t CodeFrames(void* argument)
{
    const Coder* coder = static_cast<const Coder*>(argument);
    for (uint8_t frame = 0; frame < coder->frames; ++frame)
        CompressOne(coder->slot, coder->slot->compressFormat, frame, true);
    return 0;
}

// A host closes (and opens again) one instance while another thread codes
// frames on another: instances must share nothing that a close tears down.
void CloseWhileCompressing(Session* session, OpReader* reader)
{
    Slot& coding = ReadSlot(session, reader);
    Slot& closed = ReadSlot(session, reader);
    Coder coder = {&coding, uint8_t(ReadByte(reader) % 4 + 1)};
    if (&coding == &closed || coding.id == 0 || !coding.compressReady || !SessionPictureFits(coding.compressFormat))
        return;
    PlatformThread* thread = StartThread(CodeFrames, &coder, 0);
    Expect(thread != nullptr, "cannot start a thread");
    if (closed.id != 0)
        Close(&closed);
    Open(&closed, 0);
    JoinThread(thread);
}

void Run(Session* session, OpReader* reader)
{
    const uint8_t op = ReadByte(reader) % DRIVER_OP_COUNT;
    if (op == OP_LIBRARY)
        return Library(reader);
    if (op == OP_CLOSE_WHILE_COMPRESSING)
        return CloseWhileCompressing(session, reader);
    Slot& slot = ReadSlot(session, reader);
    switch (op) {
    case OP_OPEN:
        return Open(&slot, ReadByte(reader));
    case OP_CLOSE:
        return Close(&slot);
    case OP_GETINFO:
        return GetInfo(&slot, reader);
    case OP_QUALITY:
        return Quality(&slot, reader);
    case OP_COMPRESS_QUERY:
    case OP_DECOMPRESS_QUERY:
        return Query(slot, reader, op == OP_COMPRESS_QUERY);
    case OP_COMPRESS_GET_FORMAT:
        return CompressGetFormat(slot, reader);
    case OP_COMPRESS_GET_SIZE:
        return CompressGetSize(slot, reader);
    case OP_COMPRESS_BEGIN:
    case OP_DECOMPRESS_BEGIN:
        return Begin(&slot, reader, op == OP_COMPRESS_BEGIN);
    case OP_COMPRESS:
        return Compress(&slot, reader);
    case OP_COMPRESS_END:
    case OP_DECOMPRESS_END:
        return End(slot, op == OP_COMPRESS_END);
    case OP_DECOMPRESS_GET_FORMAT:
        return DecompressGetFormat(slot, reader);
    case OP_DECOMPRESS:
        return Decompress(&slot, reader);
    default:
        return Other(slot, reader);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Session session = {};
    OpReader reader = {data, size, 0};
    while (MoreOps(reader))
        Run(&session, &reader);
    for (Slot& slot : session.slots) {
        if (slot.id != 0)
            Close(&slot);
    }
    return 0;
}
