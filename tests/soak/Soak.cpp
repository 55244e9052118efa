// SPDX-License-Identifier: BSD-2-Clause
// Opens and closes the codec, begins and ends sequences and makes field
// handles as long-running hosts do (codec lists, thumbnailers, editors),
// through the shipped library, and checks that the process ends with the
// resident memory, descriptors and threads it started with.
//
//     qf25_soak [OPENS BEGINS HANDLES]   (default 100000 10000 10000)
//
// Every count is run once before the first figures are taken, so that what
// the first use builds for good (the shared colour tables, the C library's
// thread-stack cache and allocator arenas) is already there. Descriptors and
// threads must then match exactly. Resident memory may differ by
// RESIDENT_TOLERANCE_KIB: the allocator keeps freed pages and the thread
// library keeps stacks of finished threads, and neither hands every page back
// at once; a leak of even a few bytes per cycle exceeds it at these counts.
// Exit status 0 when every call succeeded and the figures match.
#include <qf25.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "ProcessFigures.h"
#include "platform/Vfw.h"

namespace {

constexpr int64_t RESIDENT_TOLERANCE_KIB = 2048;
constexpr int WIDTH = 64;
constexpr int HEIGHT = 32;

int failures = 0;

void Check(bool condition, const char* what)
{
    if (!condition && failures++ < 10)
        std::printf("FAILED: %s\n", what);
}

intptr_t Send(uintptr_t id, uint32_t message, const void* lParam1, const void* lParam2)
{
    return DriverProc(id, nullptr, message, reinterpret_cast<intptr_t>(lParam1), reinterpret_cast<intptr_t>(lParam2));
}

// The three layouts, alternating from cycle to cycle.
struct Layout {
    DWORD compression;
    WORD bitCount;
};
const Layout LAYOUTS[] = {{mmioFOURCC('U', 'Y', 'V', 'Y'), 16}, {BI_RGB, 24}, {BI_RGB, 32}};

BITMAPINFOHEADER PictureHeader(const Layout& layout)
{
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = WIDTH;
    header.biHeight = HEIGHT;
    header.biPlanes = 1;
    header.biBitCount = layout.bitCount;
    header.biCompression = layout.compression;
    header.biSizeImage = WIDTH * HEIGHT * layout.bitCount / 8;
    return header;
}

std::vector<uint8_t> Picture(size_t bytes)
{
    std::vector<uint8_t> picture(bytes);
    for (size_t i = 0; i < bytes; ++i)
        picture[i] = uint8_t(i * 7 + i / 97);
    return picture;
}

// A codec list: open with the manager's parameters, read the information,
// close.
void OpenClose()
{
    ICOPEN parameters = {};
    parameters.dwSize = sizeof parameters;
    parameters.fccType = ICTYPE_VIDEO;
    parameters.fccHandler = mmioFOURCC('q', 'f', '2', '5');
    const auto id = uintptr_t(Send(0, DRV_OPEN, nullptr, &parameters));
    Check(id != 0, "DRV_OPEN");
    ICINFO info = {};
    Check(Send(id, ICM_GETINFO, &info, reinterpret_cast<const void*>(sizeof info)) == sizeof info, "ICM_GETINFO");
    Check(Send(id, DRV_CLOSE, nullptr, nullptr) == 1, "DRV_CLOSE");
}

// One compress sequence and one decompress sequence, a frame each, on one
// instance.
void BeginEnd(uintptr_t id, int cycle)
{
    BITMAPINFOHEADER input = PictureHeader(LAYOUTS[cycle % 3]);
    const std::vector<uint8_t> picture = Picture(input.biSizeImage);
    BITMAPINFOHEADER compressed = {};
    Check(Send(id, ICM_COMPRESS_GET_FORMAT, &input, &compressed) == ICERR_OK, "ICM_COMPRESS_GET_FORMAT");
    std::vector<uint8_t> frame(size_t(Send(id, ICM_COMPRESS_GET_SIZE, &input, &compressed)));
    Check(Send(id, ICM_COMPRESS_BEGIN, &input, &compressed) == ICERR_OK, "ICM_COMPRESS_BEGIN");
    DWORD flags = 0;
    ICCOMPRESS request = {};
    request.lpbiOutput = &compressed;
    request.lpOutput = frame.data();
    request.lpbiInput = &input;
    request.lpInput = const_cast<uint8_t*>(picture.data());
    request.lpdwFlags = &flags;
    Check(Send(id, ICM_COMPRESS, &request, nullptr) == ICERR_OK, "ICM_COMPRESS");
    Check(Send(id, ICM_COMPRESS_END, nullptr, nullptr) == ICERR_OK, "ICM_COMPRESS_END");

    std::vector<uint8_t> decoded(picture.size());
    Check(Send(id, ICM_DECOMPRESS_BEGIN, &compressed, &input) == ICERR_OK, "ICM_DECOMPRESS_BEGIN");
    ICDECOMPRESS decompress = {};
    decompress.lpbiInput = &compressed;
    decompress.lpInput = frame.data();
    decompress.lpbiOutput = &input;
    decompress.lpOutput = decoded.data();
    Check(Send(id, ICM_DECOMPRESS, &decompress, nullptr) == ICERR_OK, "ICM_DECOMPRESS");
    Check(Send(id, ICM_DECOMPRESS_END, nullptr, nullptr) == ICERR_OK, "ICM_DECOMPRESS_END");
}

// A field host: a compressor and a decompressor for one frame, both fields.
void FieldHandles(int cycle)
{
    const BITMAPINFOHEADER format = PictureHeader(LAYOUTS[cycle % 3]);
    const std::vector<uint8_t> picture = Picture(format.biSizeImage);
    const int32_t line = WIDTH * format.biBitCount / 8;
    std::vector<uint8_t> frame(QFC_MaxFrameSize(WIDTH, HEIGHT));
    void* compressor = QFC_CompressFieldBegin(&format);
    Check(compressor != nullptr, "QFC_CompressFieldBegin");
    uint32_t bytes = 0;
    for (int field = 0; field < 2; ++field)
        bytes = QFC_CompressFieldSized(compressor, frame.data(), uint32_t(frame.size()), picture.data() + field * line,
                                       2 * line, field);
    Check(bytes != 0, "QFC_CompressFieldSized");
    QFC_CompressFieldEnd(compressor);

    std::vector<uint8_t> decoded(picture.size());
    void* decompressor = QFC_DecompressFieldBegin(&format);
    Check(decompressor != nullptr, "QFC_DecompressFieldBegin");
    for (int field = 0; field < 2; ++field)
        Check(QFC_DecompressFieldSized(decompressor, decoded.data() + field * line, frame.data(), bytes, 2 * line,
                                       field) == 0,
              "QFC_DecompressFieldSized");
    QFC_DecompressFieldEnd(decompressor);
}

void Print(const char* when, const ProcessFigures& figures)
{
    std::printf("%-26s resident %8llu KiB, %4llu descriptors, %3llu threads\n", when,
                static_cast<unsigned long long>(figures.residentKib),
                static_cast<unsigned long long>(figures.descriptors),
                static_cast<unsigned long long>(figures.threads));
    std::fflush(stdout);
}

// `report`: print the figures after each kind of cycle.
void RunAll(long opens, long begins, long handles, bool report)
{
    for (long i = 0; i < opens; ++i)
        OpenClose();
    if (report)
        Print("after the opens", ReadProcessFigures());
    ICOPEN parameters = {};
    parameters.dwSize = sizeof parameters;
    parameters.fccType = ICTYPE_VIDEO;
    const auto id = uintptr_t(Send(0, DRV_OPEN, nullptr, &parameters));
    Check(id != 0, "DRV_OPEN");
    for (long i = 0; i < begins; ++i)
        BeginEnd(id, int(i));
    Send(id, DRV_CLOSE, nullptr, nullptr);
    if (report)
        Print("after the sequences", ReadProcessFigures());
    for (long i = 0; i < handles; ++i)
        FieldHandles(int(i));
}

long Count(int argc, char** argv, int index, long otherwise)
{
    return argc > index ? std::strtol(argv[index], nullptr, 10) : otherwise;
}

}  // namespace

int main(int argc, char** argv)
{
    const long opens = Count(argc, argv, 1, 100000);
    const long begins = Count(argc, argv, 2, 10000);
    const long handles = Count(argc, argv, 3, 10000);
    Check(Send(0, DRV_LOAD, nullptr, nullptr) == 1 && Send(0, DRV_ENABLE, nullptr, nullptr) == 1, "DRV_LOAD");
    RunAll(3, 3, 3, false);
    const ProcessFigures start = ReadProcessFigures();
    Print("start", start);
    RunAll(opens, begins, handles, true);
    const ProcessFigures end = ReadProcessFigures();
    Print("end", end);
    Send(0, DRV_DISABLE, nullptr, nullptr);
    Send(0, DRV_FREE, nullptr, nullptr);
    std::printf("%ld opens and closes, %ld BEGIN/END sequences with a frame each way, %ld field handle pairs\n",
                opens, begins, handles);
    const auto grown = int64_t(end.residentKib) - int64_t(start.residentKib);
    Check(end.descriptors == start.descriptors, "descriptors at the end differ from the start");
    Check(end.threads == start.threads, "threads at the end differ from the start");
    Check(grown <= RESIDENT_TOLERANCE_KIB, "resident memory grew beyond the tolerance");
    std::printf("resident memory %+lld KiB (tolerance %lld KiB): %s\n", static_cast<long long>(grown),
                static_cast<long long>(RESIDENT_TOLERANCE_KIB), failures == 0 ? "passed" : "FAILED");
    return failures == 0 ? 0 : 1;
}
