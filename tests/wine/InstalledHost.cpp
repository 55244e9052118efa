// SPDX-License-Identifier: BSD-2-Clause
// A VfW application on a system where qf25.inf installed the codec: it
// registers nothing and finds vidc.qf25 through ICOpen, as any application
// does, then codes one UYVY picture at a new instance's quality and compares
// the frame with the expected bytes.
//
//     installedhost.exe <picture.uyvy> <width> <height> <expected frame>
//     installedhost.exe --absent      succeeds when no codec answers to vidc.qf25
#include <windows.h>
#include <vfw.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "HostSupport.h"
#include "VfwCases.h"

namespace {

HIC OpenInstalled()
{
    return ICOpen(ICTYPE_VIDEO, mmioFOURCC('q', 'f', '2', '5'), ICMODE_COMPRESS);
}

void CodeFrame(const VfwCase& c, const std::vector<uint8_t>& picture, const std::vector<uint8_t>& expected)
{
    HIC hic = OpenInstalled();
    if (!Check(hic != nullptr, "ICOpen finds the installed vidc.qf25"))
        return;
    BITMAPINFOHEADER input = UncompressedHeader<BITMAPINFOHEADER>(c);
    BITMAPINFOHEADER output = {};
    Check(ICCompressGetFormat(hic, &input, &output) == ICERR_OK && output.biCompression == QF25,
          "ICCompressGetFormat gives QF25");
    std::vector<uint8_t> frame(ICCompressGetSize(hic, &input, &output));
    DWORD flags = 0, chunkId = 0;
    Check(ICCompressBegin(hic, &input, &output) == ICERR_OK, "ICCompressBegin");
    const DWORD result = ICCompress(hic, 0, &output, frame.data(), &input, const_cast<uint8_t*>(picture.data()),
                                    &chunkId, &flags, 0, 0, 0, nullptr, nullptr);
    if (Check(result == ICERR_OK, "ICCompress")) {
        frame.resize(output.biSizeImage);
        Check(frame == expected, "the frame is the expected " + std::to_string(expected.size()) + " bytes (got " +
                                     std::to_string(frame.size()) + ")");
    }
    ICCompressEnd(hic);
    ICClose(hic);
}

}  // namespace

int main(int argc, char** argv)
{
    const char* bits = sizeof(void*) == 8 ? "64-bit" : "32-bit";
    if (argc == 2 && std::string(argv[1]) == "--absent") {
        HIC hic = OpenInstalled();
        Check(hic == nullptr, std::string(bits) + " host still finds vidc.qf25");
        if (hic)
            ICClose(hic);
        std::printf("%s host: %s\n", bits, failures == 0 ? "no vidc.qf25" : "FAILED");
        return failures == 0 ? 0 : 1;
    }
    if (argc != 5) {
        std::printf("usage: installedhost.exe <picture.uyvy> <width> <height> <expected frame> | --absent\n");
        return 2;
    }
    const VfwCase c = {"installed", "UYVY", std::atoi(argv[2]), std::atoi(argv[3]), false, 9000};
    std::vector<uint8_t> picture, expected;
    if (Check(ReadBytes(argv[1], &picture) && picture.size() == PictureBytesOf(c), "reading the picture") &&
        Check(ReadBytes(argv[4], &expected), "reading the expected frame"))
        CodeFrame(c, picture, expected);
    std::printf("%s host: %s\n", bits, failures == 0 ? "the installed codec coded the expected frame" : "FAILED");
    return failures == 0 ? 0 : 1;
}
