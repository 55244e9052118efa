// SPDX-License-Identifier: BSD-2-Clause
// A Video for Windows application in miniature: registers qf25.dll as the
// installable compressor vidc.qf25, opens it through the compression manager
// as every VfW application does, and runs the compress and decompress
// sequences for each case of a case directory, writing what it gets.
//
//     vfwhost.exe <path of qf25.dll> <case directory>
//
// Exit status 0 when every message answered as expected; the bytes are
// compared by the native side. A file "vfwhost.done" marks a complete run.
#include <windows.h>
#include <vfw.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "HostSupport.h"
#include "VfwCases.h"

namespace {


void CheckResult(LRESULT result, LRESULT expected, const std::string& what)
{
    Check(result == expected, what + " returned " + std::to_string(long(result)) + ", expected " +
                                  std::to_string(long(expected)));
}

void CheckInfo()
{
    HIC hic = ICOpen(ICTYPE_VIDEO, mmioFOURCC('q', 'f', '2', '5'), ICMODE_COMPRESS);
    Check(hic != nullptr, "ICOpen for compression");
    if (!hic)
        return;
    ICINFO info = {};
    CheckResult(ICGetInfo(hic, &info, sizeof info), sizeof info, "ICGetInfo");
    Check(info.fccType == ICTYPE_VIDEO && info.fccHandler == QF25, "ICGetInfo type and handler");
    Check(info.dwFlags == 0xA9 && info.dwVersionICM == ICVERSION, "ICGetInfo flags and version");
    Check(std::wcscmp(info.szName, L"QF CoDec") == 0, "ICGetInfo name");
    Check(std::wcscmp(info.szDescription, L"Trasko Video Codec [QF25]") == 0, "ICGetInfo description");
    DWORD quality = 0;
    CheckResult(ICSendMessage(hic, ICM_GETQUALITY, DWORD_PTR(&quality), 0), ICERR_OK, "ICM_GETQUALITY");
    Check(quality == 9000, "a new instance reports quality 9000");
    quality = 10000;
    ICSendMessage(hic, ICM_SETQUALITY, DWORD_PTR(&quality), 0);
    ICSendMessage(hic, ICM_GETQUALITY, DWORD_PTR(&quality), 0);
    Check(quality == 9800, "quality 10000 is kept as 9800");
    CheckResult(ICSendMessage(hic, ICM_GETDEFAULTQUALITY, DWORD_PTR(&quality), 0), ICERR_UNSUPPORTED,
                "ICM_GETDEFAULTQUALITY");
    ICClose(hic);
}

bool Compress(const VfwCase& c, const std::vector<uint8_t>& picture, BITMAPINFOHEADER* format,
              std::vector<uint8_t>* frame)
{
    HIC hic = ICOpen(ICTYPE_VIDEO, mmioFOURCC('q', 'f', '2', '5'), ICMODE_COMPRESS);
    Check(hic != nullptr, c.name + ": ICOpen for compression");
    if (!hic)
        return false;
    BITMAPINFOHEADER input = UncompressedHeader<BITMAPINFOHEADER>(c);
    DWORD quality = DWORD(c.hostQuality);
    CheckResult(ICSendMessage(hic, ICM_SETQUALITY, DWORD_PTR(&quality), 0), ICERR_OK, c.name + ": ICM_SETQUALITY");
    CheckResult(ICCompressQuery(hic, &input, nullptr), ICERR_OK, c.name + ": ICCompressQuery");
    CheckResult(ICCompressGetFormatSize(hic, &input), sizeof(BITMAPINFOHEADER), c.name + ": ICCompressGetFormatSize");
    CheckResult(ICCompressGetFormat(hic, &input, format), ICERR_OK, c.name + ": ICCompressGetFormat");
    Check(format->biCompression == QF25, c.name + ": compressed format is QF25");
    const DWORD capacity = DWORD(ICCompressGetSize(hic, &input, format));
    Check(capacity == DWORD(c.width) * DWORD(c.height) * 6, c.name + ": ICCompressGetSize");
    CheckResult(ICCompressBegin(hic, &input, format), ICERR_OK, c.name + ": ICCompressBegin");
    frame->assign(capacity, 0);
    DWORD flags = 0, chunkId = 0;
    const DWORD result = ICCompress(hic, 0, format, frame->data(), &input, const_cast<uint8_t*>(picture.data()),
                                    &chunkId, &flags, 0, 0, 0, nullptr, nullptr);
    CheckResult(LRESULT(result), ICERR_OK, c.name + ": ICCompress");
    Check(flags == AVIIF_KEYFRAME, c.name + ": every frame is a key frame");
    Check(format->biSizeImage > 0 && format->biSizeImage <= capacity, c.name + ": frame size within the announced size");
    frame->resize(result == ICERR_OK ? format->biSizeImage : 0);
    CheckResult(ICCompressEnd(hic), ICERR_OK, c.name + ": ICCompressEnd");
    ICClose(hic);
    return result == ICERR_OK;
}

bool Decompress(const VfwCase& c, const BITMAPINFOHEADER& format, const std::vector<uint8_t>& frame,
                std::vector<uint8_t>* picture)
{
    HIC hic = ICOpen(ICTYPE_VIDEO, mmioFOURCC('q', 'f', '2', '5'), ICMODE_DECOMPRESS);
    Check(hic != nullptr, c.name + ": ICOpen for decompression");
    if (!hic)
        return false;
    BITMAPINFOHEADER input = format;
    input.biSizeImage = DWORD(frame.size());  // as AVIFile passes each sample
    BITMAPINFOHEADER output = UncompressedHeader<BITMAPINFOHEADER>(c);
    CheckResult(ICDecompressQuery(hic, &input, &output), ICERR_OK, c.name + ": ICDecompressQuery");
    CheckResult(ICDecompressGetFormatSize(hic, &input), sizeof(BITMAPINFOHEADER), c.name + ": ICDecompressGetFormatSize");
    BITMAPINFOHEADER suggested = {};
    CheckResult(ICDecompressGetFormat(hic, &input, &suggested), ICERR_OK, c.name + ": ICDecompressGetFormat");
    Check(suggested.biBitCount == 32 && suggested.biCompression == BI_RGB && suggested.biHeight == c.height,
          c.name + ": suggested output is bottom-up BGR32");
    CheckResult(ICDecompressBegin(hic, &input, &output), ICERR_OK, c.name + ": ICDecompressBegin");
    picture->assign(PictureBytesOf(c), 0);
    const DWORD result = ICDecompress(hic, 0, &input, const_cast<uint8_t*>(frame.data()), &output, picture->data());
    CheckResult(LRESULT(result), ICERR_OK, c.name + ": ICDecompress");
    CheckResult(ICDecompressEnd(hic), ICERR_OK, c.name + ": ICDecompressEnd");
    ICClose(hic);
    return result == ICERR_OK;
}

void RunCase(const std::string& directory, const VfwCase& c)
{
    std::vector<uint8_t> picture, frame, decoded;
    if (!ReadBytes(CasePath(directory, c.name, ".in"), &picture) || picture.size() != PictureBytesOf(c)) {
        Check(false, c.name + ": reading the input picture");
        return;
    }
    BITMAPINFOHEADER format = {};
    if (Compress(c, picture, &format, &frame))
        Check(WriteBytes(CasePath(directory, c.name, ".wine.qf25"), frame), c.name + ": writing the frame");
    if (!frame.empty() && Decompress(c, format, frame, &decoded))
        Check(WriteBytes(CasePath(directory, c.name, ".wine.dec"), decoded), c.name + ": writing the picture");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::printf("usage: vfwhost.exe <qf25.dll> <case directory>\n");
        return 2;
    }
    const std::string directory = argv[2];
    std::remove((directory + "/vfwhost.done").c_str());
    Check(Register(argv[1]), "registering vidc.qf25");
    CheckInfo();
    const std::vector<VfwCase> cases = ReadCases(directory);
    Check(!cases.empty(), "reading the case list");
    for (const VfwCase& c : cases) {
        RunCase(directory, c);
        std::printf("%s %s\n", failures == 0 ? "done" : "after failures,", c.name.c_str());
    }
    std::printf("%d cases, %d failures\n", int(cases.size()), failures);
    std::fflush(stdout);
    if (failures == 0)
        WriteBytes(directory + "/vfwhost.done", {});
    return failures == 0 ? 0 : 1;
}
