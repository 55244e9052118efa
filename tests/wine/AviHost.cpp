// SPDX-License-Identifier: BSD-2-Clause
// An AVI application in miniature: registers qf25.dll as vidc.qf25 and uses
// it only through AVIFile, which finds the codec itself. It decodes an AVI
// written by the native qf25 command, and writes an AVI of its own through a
// compressed stream, then decodes that one the same way. Pictures are written
// as raw 32-bit BGR, top line first, to be compared with `qf25 decode`.
//
//     avihost.exe <qf25.dll> read <in.avi> <out.rgb> [<sound prefix>]
//     avihost.exe <qf25.dll> write <in.rgb> <width> <height> <out.avi> <out.rgb>
//
// In the write form, in.rgb holds whole 32-bit BGR pictures, top line first.
// With a sound prefix, the read form also reads every sound stream with
// AVIStreamRead into <prefix>N.pcm and prints its format.
// Exit status 0 when everything answered as expected; a file "<out.rgb>.done"
// marks a complete run.
#include <windows.h>
#include <vfw.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "HostSupport.h"
#include "VfwCases.h"

namespace {

const DWORD HANDLER = mmioFOURCC('q', 'f', '2', '5');
constexpr DWORD FRAME_RATE = 25;

size_t LineBytes(LONG width)
{
    return size_t(width) * 4;
}

// Reverses the line order of whole pictures: DIBs are bottom-up, the raw files top-down.
void AppendFlipped(const uint8_t* picture, LONG width, LONG height, std::vector<uint8_t>* out)
{
    for (LONG line = height - 1; line >= 0; --line) {
        const uint8_t* start = picture + size_t(line) * LineBytes(width);
        out->insert(out->end(), start, start + LineBytes(width));
    }
}

BITMAPINFOHEADER PictureHeader(LONG width, LONG height)
{
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    header.biSizeImage = DWORD(LineBytes(width) * size_t(height));
    return header;
}

// Decodes every frame the way players do: the frame reader picks the codec
// from the stream and the output format from the codec. Wine writes 0 as the
// handler of a compressed stream, so only the native command's files name it.
bool ReadAvi(const std::string& path, bool namesHandler, std::vector<uint8_t>* pictures)
{
    PAVISTREAM stream = OpenVideoStream(path);
    if (!stream)
        return false;
    AVISTREAMINFOA info = {};
    CheckResult(AVIStreamInfoA(stream, &info, sizeof info), "AVIStreamInfo");
    // Files name the handler in either case; setting bit 5 of each letter lowers it.
    Check(!namesHandler || (info.fccHandler | 0x20202020) == HANDLER, "the stream names the qf25 handler");
    BITMAPINFOHEADER format = {};
    LONG formatBytes = sizeof format;
    CheckResult(AVIStreamReadFormat(stream, 0, &format, &formatBytes), "AVIStreamReadFormat");
    Check(format.biCompression == QF25, "the stream is QF25");
    const LONG width = info.rcFrame.right - info.rcFrame.left;
    const LONG height = info.rcFrame.bottom - info.rcFrame.top;
    const LONG start = AVIStreamStart(stream);
    const LONG length = AVIStreamLength(stream);
    Check(length > 0, "the stream has frames");
    PGETFRAME frames = AVIStreamGetFrameOpen(stream, nullptr);
    bool ok = Check(frames != nullptr, "AVIStreamGetFrameOpen finds the codec");
    for (LONG position = start; ok && position < start + length; ++position) {
        const auto* header = static_cast<const BITMAPINFOHEADER*>(AVIStreamGetFrame(frames, position));
        const std::string frame = "frame " + std::to_string(position);
        ok = Check(header != nullptr, "AVIStreamGetFrame " + frame) &&
             Check(header->biBitCount == 32 && header->biCompression == BI_RGB && header->biWidth == width &&
                       header->biHeight == height,
                   frame + " is bottom-up 32-bit BGR of the stream's size");
        if (ok)
            AppendFlipped(reinterpret_cast<const uint8_t*>(header) + header->biSize, width, height, pictures);
    }
    if (frames)
        AVIStreamGetFrameClose(frames);
    AVIStreamRelease(stream);
    return ok;
}

// Every sound stream, as a player reads it: the format, then all samples at once.
bool ReadSound(const std::string& path, const std::string& prefix)
{
    PAVIFILE file = nullptr;
    if (!CheckResult(AVIFileOpenA(&file, path.c_str(), OF_READ | OF_SHARE_DENY_WRITE, nullptr), "AVIFileOpen " + path))
        return false;
    bool ok = true;
    PAVISTREAM stream = nullptr;
    for (LONG number = 0; ok && AVIFileGetStream(file, &stream, streamtypeAUDIO, number) == S_OK; ++number) {
        LONG formatBytes = 0;
        AVIStreamFormatSize(stream, 0, &formatBytes);
        std::vector<uint8_t> format(size_t(std::max<LONG>(formatBytes, 0)));
        ok = Check(format.size() >= sizeof(WAVEFORMATEX), "the sound stream has a wave format") &&
             CheckResult(AVIStreamReadFormat(stream, 0, format.data(), &formatBytes), "AVIStreamReadFormat");
        WAVEFORMATEX wave = {};
        std::memcpy(&wave, format.data(), std::min(format.size(), sizeof wave));
        const LONG start = AVIStreamStart(stream);
        const LONG length = AVIStreamLength(stream);
        std::vector<uint8_t> samples(size_t(length) * wave.nBlockAlign);
        LONG bytes = 0, read = 0;
        ok = ok &&
             CheckResult(AVIStreamRead(stream, start, length, samples.data(), LONG(samples.size()), &bytes, &read),
                         "AVIStreamRead") &&
             Check(read == length && size_t(bytes) == samples.size(), "AVIStreamRead gives every sample");
        std::printf("sound %ld: tag 0x%x, %u channels, %lu Hz, %u bits, %ld samples\n", long(number),
                    unsigned(wave.wFormatTag), unsigned(wave.nChannels),
                    static_cast<unsigned long>(wave.nSamplesPerSec), unsigned(wave.wBitsPerSample), long(length));
        ok = ok && Check(WriteBytes(prefix + std::to_string(number) + ".pcm", samples), "writing the samples");
        AVIStreamRelease(stream);
    }
    AVIFileRelease(file);
    return ok;
}

// The quality a new instance starts with: what AVIMakeCompressedStream would
// use if the codec answered ICM_GETDEFAULTQUALITY, which it refuses.
DWORD InstanceQuality()
{
    DWORD quality = 0;
    HIC hic = ICOpen(ICTYPE_VIDEO, HANDLER, ICMODE_COMPRESS);
    if (Check(hic != nullptr, "ICOpen for the instance's quality")) {
        Check(ICSendMessage(hic, ICM_GETQUALITY, DWORD_PTR(&quality), 0) == ICERR_OK, "ICM_GETQUALITY");
        ICClose(hic);
    }
    return quality;
}

bool WriteAvi(const std::string& path, const std::vector<uint8_t>& pictures, LONG width, LONG height)
{
    const size_t pictureBytes = LineBytes(width) * size_t(height);
    if (!Check(!pictures.empty() && pictures.size() % pictureBytes == 0, "the input holds whole pictures"))
        return false;
    std::remove(path.c_str());
    PAVIFILE file = nullptr;
    if (!CheckResult(AVIFileOpenA(&file, path.c_str(), OF_CREATE | OF_WRITE, nullptr), "AVIFileOpen for writing"))
        return false;
    AVISTREAMINFOA info = {};
    info.fccType = streamtypeVIDEO;
    info.dwScale = 1;
    info.dwRate = FRAME_RATE;
    info.dwSuggestedBufferSize = DWORD(pictureBytes);
    SetRect(&info.rcFrame, 0, 0, width, height);
    PAVISTREAM raw = nullptr, compressed = nullptr;
    bool ok = CheckResult(AVIFileCreateStreamA(file, &raw, &info), "AVIFileCreateStream");
    AVICOMPRESSOPTIONS options = {};
    options.fccType = streamtypeVIDEO;
    options.fccHandler = HANDLER;
    options.dwQuality = InstanceQuality();
    options.dwFlags = AVICOMPRESSF_VALID;
    ok = ok && CheckResult(AVIMakeCompressedStream(&compressed, raw, &options, nullptr), "AVIMakeCompressedStream");
    BITMAPINFOHEADER format = PictureHeader(width, height);
    ok = ok && CheckResult(AVIStreamSetFormat(compressed, 0, &format, sizeof format), "AVIStreamSetFormat");
    const LONG count = LONG(pictures.size() / pictureBytes);
    std::vector<uint8_t> bottomUp;
    for (LONG frame = 0; ok && frame < count; ++frame) {
        bottomUp.clear();
        AppendFlipped(pictures.data() + size_t(frame) * pictureBytes, width, height, &bottomUp);
        // Wine swaps the two counts it reports, so neither is checked.
        LONG samples = 0, bytes = 0;
        ok = CheckResult(AVIStreamWrite(compressed, frame, 1, bottomUp.data(), LONG(bottomUp.size()),
                                        AVIIF_KEYFRAME, &samples, &bytes),
                         "AVIStreamWrite frame " + std::to_string(frame));
    }
    if (compressed)
        AVIStreamRelease(compressed);
    // The file's stream, not the compressed one: Wine's compressed stream
    // keeps reporting length 0 however many frames pass through it.
    if (raw) {
        ok = Check(AVIStreamLength(raw) == count, "the file's stream holds every frame written") && ok;
        AVIStreamRelease(raw);
    }
    AVIFileRelease(file);
    return ok;
}

int Usage()
{
    std::printf("usage: avihost.exe <qf25.dll> read <in.avi> <out.rgb> [<sound prefix>]\n"
                "       avihost.exe <qf25.dll> write <in.rgb> <width> <height> <out.avi> <out.rgb>\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    const bool read = (argc == 5 || argc == 6) && std::strcmp(argv[2], "read") == 0;
    const bool write = argc == 8 && std::strcmp(argv[2], "write") == 0;
    if (!read && !write)
        return Usage();
    const std::string output = argv[read ? 4 : 7];
    const std::string marker = output + ".done";
    std::remove(marker.c_str());
    Check(Register(argv[1]), "registering vidc.qf25");
    AVIFileInit();
    std::vector<uint8_t> decoded;
    if (read) {
        ReadAvi(argv[3], true, &decoded);
        if (argc == 6)
            ReadSound(argv[3], argv[5]);
    } else {
        std::vector<uint8_t> pictures;
        const LONG width = std::atol(argv[4]), height = std::atol(argv[5]);
        if (Check(ReadBytes(argv[3], &pictures), "reading the input pictures") &&
            WriteAvi(argv[6], pictures, width, height))
            ReadAvi(argv[6], false, &decoded);
    }
    AVIFileExit();
    Check(WriteBytes(output, decoded), "writing the decoded pictures");
    std::printf("%s: %d failures\n", argv[2], failures);
    std::fflush(stdout);
    if (failures == 0)
        WriteBytes(marker, {});
    return failures == 0 ? 0 : 1;
}
