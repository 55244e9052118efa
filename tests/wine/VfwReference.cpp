// SPDX-License-Identifier: BSD-2-Clause
// The native side of the Windows tests. `prepare` writes the input pictures
// of every case and what build/libqf25.so makes of them through DriverProc,
// checking the conformance vectors on the way; `compare` checks that what the
// Windows DLL wrote under Wine is the same, byte for byte.
//
//     qf25_vfw_reference prepare <case directory> <conformance vector directory>
//     qf25_vfw_reference compare <case directory>
#include <qf25.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "VfwCases.h"
#include "platform/Vfw.h"

namespace {

constexpr int32_t DEFAULT_HOST_QUALITY = 9000;  // quality 95, as the vectors are coded

struct VectorCase {
    VfwCase shape;
    const char* input;
    const char* stem;  // expected outputs stem.q95.qf25 and stem.q95.dec
};

const VectorCase VECTOR_CASES[] = {
    {{"vector-astronaut-uyvy", "UYVY", 720, 486, false, DEFAULT_HOST_QUALITY}, "astronaut-720x486.uyvy",
     "astronaut-720x486"},
    {{"vector-astronaut-bgr24", "BGR24", 720, 486, false, DEFAULT_HOST_QUALITY}, "astronaut-720x486-bottomup.bgr24",
     "astronaut-720x486-bottomup"},
    {{"vector-coffee-bgr32", "BGR32", 720, 486, true, DEFAULT_HOST_QUALITY}, "coffee-720x486-topdown.bgr32",
     "coffee-720x486-topdown"},
    {{"vector-coffee-uyvy", "UYVY", 1008, 21, false, DEFAULT_HOST_QUALITY}, "coffee-1008x21.uyvy",
     "coffee-1008x21"},
};

std::vector<VfwCase> SyntheticCases()
{
    const struct {
        int32_t width, height, hostQuality;
    } sizes[] = {{720, 486, DEFAULT_HOST_QUALITY}, {1920, 1080, 5000}, {1008, 21, 9800}};
    std::vector<VfwCase> cases;
    for (const auto& size : sizes)
        for (const char* layout : {"UYVY", "BGR24", "BGR32"})
            for (bool topDown : {false, true}) {
                const std::string name = std::string(layout) + "-" + std::to_string(size.width) + "x" +
                                         std::to_string(size.height) + (topDown ? "-topdown" : "-bottomup");
                cases.push_back({name, layout, size.width, size.height, topDown, size.hostQuality});
            }
    return cases;
}

uint8_t Clamp(int value)
{
    return uint8_t(value < 0 ? 0 : value > 255 ? 255 : value);
}

// Something like a photograph, the same on every build: smooth gradients, a
// bright disc with a hard edge, fine texture and a little noise, different
// in every byte position of a pixel.
uint8_t SyntheticSample(int x, int y, int channel, int width, int height)
{
    int value = x * 180 / width + y * 60 / height + channel * 23;
    const int dx = x - width / 3, dy = y - height / 2, radius = height / 3 + 4;
    if (dx * dx + dy * dy < radius * radius)
        value = 250 - value / 3;
    value += ((x / 3 + y / 2 + channel) % 5) * 4;
    const uint32_t hash = (uint32_t(x) * 73856093u) ^ (uint32_t(y) * 19349663u) ^ (uint32_t(channel) * 83492791u);
    return Clamp(value + int(hash % 13) - 6);
}

// Stored in the case's line order: top line first when topDown or UYVY.
std::vector<uint8_t> SyntheticPicture(const VfwCase& c)
{
    const int bytesPerPixel = BitCountOf(c.layout) / 8;
    const size_t lineBytes = size_t(bytesPerPixel) * c.width;
    std::vector<uint8_t> picture(PictureBytesOf(c));
    const bool bottomUp = !c.topDown && c.layout != "UYVY";
    for (int y = 0; y < c.height; ++y) {
        uint8_t* line = picture.data() + (bottomUp ? c.height - 1 - y : y) * lineBytes;
        for (size_t i = 0; i < lineBytes; ++i)
            line[i] = SyntheticSample(int(i) / bytesPerPixel, y, int(i) % bytesPerPixel, c.width, c.height);
    }
    return picture;
}

intptr_t Send(uintptr_t id, UINT message, const void* lParam1, const void* lParam2 = nullptr)
{
    return DriverProc(id, nullptr, message, reinterpret_cast<intptr_t>(lParam1), reinterpret_cast<intptr_t>(lParam2));
}

uintptr_t Open()
{
    ICOPEN parameters = {};
    parameters.dwSize = sizeof parameters;
    parameters.fccType = ICTYPE_VIDEO;
    parameters.fccHandler = mmioFOURCC('q', 'f', '2', '5');
    return uintptr_t(Send(0, DRV_OPEN, nullptr, &parameters));
}

// The message sequence of the Windows host, sent straight to DriverProc.
bool CodeNatively(const VfwCase& c, const std::vector<uint8_t>& picture, std::vector<uint8_t>* frame,
                  std::vector<uint8_t>* decoded)
{
    const uintptr_t encoder = Open();
    BITMAPINFOHEADER input = UncompressedHeader<BITMAPINFOHEADER>(c);
    BITMAPINFOHEADER format = {};
    int32_t quality = c.hostQuality;
    Send(encoder, ICM_SETQUALITY, &quality);
    bool good = Send(encoder, ICM_COMPRESS_QUERY, &input) == ICERR_OK &&
                Send(encoder, ICM_COMPRESS_GET_FORMAT, &input, &format) == ICERR_OK;
    frame->assign(size_t(Send(encoder, ICM_COMPRESS_GET_SIZE, &input, &format)), 0);
    good = good && Send(encoder, ICM_COMPRESS_BEGIN, &input, &format) == ICERR_OK;
    ICCOMPRESS compress = {};
    DWORD flags = 0;
    compress.lpbiOutput = &format;
    compress.lpOutput = frame->data();
    compress.lpbiInput = &input;
    compress.lpInput = const_cast<uint8_t*>(picture.data());
    compress.lpdwFlags = &flags;
    good = good && Send(encoder, ICM_COMPRESS, &compress) == ICERR_OK && flags == AVIIF_KEYFRAME;
    Send(encoder, DRV_CLOSE, nullptr);
    if (!good)
        return false;
    frame->resize(format.biSizeImage);

    const uintptr_t decoder = Open();
    format.biSizeImage = DWORD(frame->size());
    decoded->assign(picture.size(), 0);
    ICDECOMPRESS decompress = {};
    decompress.lpbiInput = &format;
    decompress.lpInput = frame->data();
    decompress.lpbiOutput = &input;
    decompress.lpOutput = decoded->data();
    good = Send(decoder, ICM_DECOMPRESS_QUERY, &format, &input) == ICERR_OK &&
           Send(decoder, ICM_DECOMPRESS_BEGIN, &format, &input) == ICERR_OK &&
           Send(decoder, ICM_DECOMPRESS, &decompress) == ICERR_OK;
    Send(decoder, DRV_CLOSE, nullptr);
    return good;
}

bool Fail(const std::string& what)
{
    std::fprintf(stderr, "FAILED: %s\n", what.c_str());
    return false;
}

bool PrepareCase(const std::string& directory, const VfwCase& c, const std::vector<uint8_t>& picture,
                 const std::vector<uint8_t>* expectedFrame, const std::vector<uint8_t>* expectedPicture)
{
    std::vector<uint8_t> frame, decoded;
    if (!CodeNatively(c, picture, &frame, &decoded))
        return Fail(c.name + ": the native library refused the sequence");
    if (expectedFrame && frame != *expectedFrame)
        return Fail(c.name + ": the native library's frame differs from the conformance vector");
    if (expectedPicture && decoded != *expectedPicture)
        return Fail(c.name + ": the native library's picture differs from the conformance vector");
    std::remove(CasePath(directory, c.name, ".wine.qf25").c_str());
    std::remove(CasePath(directory, c.name, ".wine.dec").c_str());
    return (WriteBytes(CasePath(directory, c.name, ".in"), picture) &&
            WriteBytes(CasePath(directory, c.name, ".expected.qf25"), frame) &&
            WriteBytes(CasePath(directory, c.name, ".expected.dec"), decoded)) ||
           Fail(c.name + ": writing the case files");
}

int Prepare(const std::string& directory, const std::string& vectors)
{
    std::vector<VfwCase> cases;
    bool good = true;
    for (const VectorCase& v : VECTOR_CASES) {
        std::vector<uint8_t> picture, frame, decoded;
        const std::string stem = vectors + "/" + v.stem + ".q95";
        if (!ReadBytes(vectors + "/" + v.input, &picture) || !ReadBytes(stem + ".qf25", &frame) ||
            !ReadBytes(stem + ".dec", &decoded)) {
            good = Fail(std::string("reading the vector ") + v.input);
            continue;
        }
        good = PrepareCase(directory, v.shape, picture, &frame, &decoded) && good;
        cases.push_back(v.shape);
    }
    for (const VfwCase& c : SyntheticCases()) {
        good = PrepareCase(directory, c, SyntheticPicture(c), nullptr, nullptr) && good;
        cases.push_back(c);
    }
    good = (WriteCases(directory, cases) || Fail("writing the case list")) && good;
    std::printf("%d cases prepared\n", int(cases.size()));
    return good ? 0 : 1;
}

bool SameFile(const std::string& directory, const std::string& name, const char* expected, const char* wine)
{
    std::vector<uint8_t> a, b;
    if (!ReadBytes(CasePath(directory, name, expected), &a) || !ReadBytes(CasePath(directory, name, wine), &b))
        return Fail(name + ": missing " + wine);
    if (a.size() != b.size())
        return Fail(name + wine + ": " + std::to_string(b.size()) + " bytes, expected " + std::to_string(a.size()));
    const auto difference = std::mismatch(a.begin(), a.end(), b.begin());
    if (difference.first != a.end())
        return Fail(name + wine + ": first difference at byte " + std::to_string(difference.first - a.begin()));
    return true;
}

int Compare(const std::string& directory)
{
    const std::vector<VfwCase> cases = ReadCases(directory);
    bool good = !cases.empty() || Fail("reading the case list");
    for (const VfwCase& c : cases) {
        good = SameFile(directory, c.name, ".expected.qf25", ".wine.qf25") && good;
        good = SameFile(directory, c.name, ".expected.dec", ".wine.dec") && good;
    }
    std::printf("%d cases compared: %s\n", int(cases.size()), good ? "identical" : "DIFFERENT");
    return good ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "prepare") == 0)
        return Prepare(argv[2], argv[3]);
    if (argc == 3 && std::strcmp(argv[1], "compare") == 0)
        return Compare(argv[2]);
    std::fprintf(stderr, "usage: qf25_vfw_reference prepare <case directory> <vector directory>\n"
                         "       qf25_vfw_reference compare <case directory>\n");
    return 2;
}
