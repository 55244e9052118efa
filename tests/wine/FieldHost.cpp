// SPDX-License-Identifier: BSD-2-Clause
// A host of the field functions as a Windows program sees them: qf25.dll
// loaded by name, each QFC_ export found by its undecorated name and called
// with the standard calling convention from a stack at every 4-byte offset,
// as 32-bit hosts only keep it 4-byte aligned. Each call must remove exactly
// its arguments from the stack, and every kernel tier at every offset must
// give the same frame and the same decoded picture.
//
//     fieldhost.exe <path of qf25.dll>      exit status 0 when all holds
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "HostSupport.h"

namespace {

#if defined(_WIN64)
// One calling convention, nothing to measure: a plain call.
uintptr_t CallExport(FARPROC function, const std::vector<uintptr_t>& args, unsigned)
{
    using Six = uintptr_t (*)(uintptr_t, uintptr_t, uintptr_t, uintptr_t, uintptr_t, uintptr_t);
    uintptr_t a[6] = {};
    for (size_t i = 0; i < args.size(); ++i)
        a[i] = args[i];
    // Through void (*)(), which the compiler takes as "any function".
    return reinterpret_cast<Six>(reinterpret_cast<void (*)()>(function))(a[0], a[1], a[2], a[3], a[4], a[5]);
}
#else
// Pushes `count` arguments onto a stack `offset` bytes below a 32-byte
// boundary, calls, and returns the bytes the callee removed.
extern "C" uint32_t CallMeasured(FARPROC function, const uintptr_t* args, uint32_t count, uint32_t offset,
                                 uintptr_t* result);
asm(R"(
    .text
    .globl _CallMeasured
_CallMeasured:
    push %ebp
    mov %esp, %ebp
    push %ebx
    push %esi
    push %edi
    and $-32, %esp
    sub 20(%ebp), %esp
    mov 12(%ebp), %esi
    mov 16(%ebp), %ecx
1:  test %ecx, %ecx
    jz 2f
    dec %ecx
    push (%esi,%ecx,4)
    jmp 1b
2:  mov %esp, %edi
    call *8(%ebp)
    mov 24(%ebp), %ecx
    mov %eax, (%ecx)
    mov %esp, %eax
    sub %edi, %eax
    lea -12(%ebp), %esp
    pop %edi
    pop %esi
    pop %ebx
    pop %ebp
    ret
)");

uintptr_t CallExport(FARPROC function, const std::vector<uintptr_t>& args, unsigned offset)
{
    uintptr_t result = 0;
    const uint32_t removed = CallMeasured(function, args.data(), uint32_t(args.size()), offset, &result);
    Check(removed == 4 * args.size(), "a field function removed " + std::to_string(removed) + " bytes of " +
                                          std::to_string(4 * args.size()) + " bytes of arguments");
    return result;
}
#endif

struct FieldFunctions {
    FARPROC compressBegin, compressField, compressSized, compressEnd;
    FARPROC decompressBegin, decompressSized, decompressEnd;
    FARPROC setQuality, maxFrameSize, setCpuMask, setSliceThreads;
};

FARPROC Find(HMODULE dll, const char* name)
{
    const FARPROC function = GetProcAddress(dll, name);
    if (!Check(function != nullptr, std::string("qf25.dll exports ") + name)) {
        std::fflush(stdout);
        std::exit(1);
    }
    return function;
}

constexpr int WIDTH = 96, HEIGHT = 64;

// UYVY, and 32-bit BGR, whose kernels keep vectors on the stack.
struct Layout {
    DWORD compression;
    WORD bitCount;
    int line;  // bytes
};
constexpr Layout LAYOUTS[] = {{mmioFOURCC('U', 'Y', 'V', 'Y'), 16, WIDTH * 2}, {BI_RGB, 32, WIDTH * 4}};

uintptr_t Arg(const void* pointer)
{
    return reinterpret_cast<uintptr_t>(pointer);
}

// One frame coded and decoded through every field function, each call made
// from a stack `offset` bytes below a 32-byte boundary.
void RoundTrip(const FieldFunctions& f, const Layout& layout, const std::vector<uint8_t>& picture, uint32_t cpuMask,
               unsigned offset, std::vector<uint8_t>* frame, std::vector<uint8_t>* decoded)
{
    BITMAPINFOHEADER format = {};
    format.biSize = sizeof format;
    format.biWidth = WIDTH;
    format.biHeight = -HEIGHT;
    format.biPlanes = 1;
    format.biBitCount = layout.bitCount;
    format.biCompression = layout.compression;
    format.biSizeImage = DWORD(picture.size());
    const int line = layout.line;
    const uintptr_t stride = uintptr_t(2 * line);

    CallExport(f.setCpuMask, {cpuMask}, offset);
    const uint32_t capacity = uint32_t(CallExport(f.maxFrameSize, {WIDTH, HEIGHT}, offset));
    frame->assign(capacity, 0);
    const uintptr_t encoder = CallExport(f.compressBegin, {Arg(&format)}, offset);
    Check(encoder != 0 && CallExport(f.setQuality, {encoder, 90}, offset) == 0, "QFC_CompressFieldBegin");
    const uintptr_t first = CallExport(f.compressField, {encoder, Arg(frame->data()), Arg(picture.data()), stride, 0},
                                       offset);
    const uintptr_t size = CallExport(
        f.compressSized, {encoder, Arg(frame->data()), capacity, Arg(picture.data() + line), stride, 1}, offset);
    CallExport(f.compressEnd, {encoder}, offset);
    Check(first > 0 && size > first && size <= capacity, "both fields are coded");
    frame->resize(size);

    decoded->assign(picture.size(), 0);
    const uintptr_t decoder = CallExport(f.decompressBegin, {Arg(&format)}, offset);
    Check(decoder != 0 && CallExport(f.setSliceThreads, {decoder, 1}, offset) == 0, "QFC_DecompressFieldBegin");
    for (uintptr_t field = 0; field < 2; ++field) {
        const uintptr_t status = CallExport(
            f.decompressSized, {decoder, Arg(decoded->data() + field * line), Arg(frame->data()), size, stride, field},
            offset);
        Check(status == 0, "field " + std::to_string(field) + " decodes cleanly");
    }
    CallExport(f.decompressEnd, {decoder}, offset);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::printf("usage: fieldhost <path of qf25.dll>\n");
        return 2;
    }
    const HMODULE dll = LoadLibraryA(argv[1]);
    if (!Check(dll != nullptr, std::string("LoadLibrary ") + argv[1]))
        return 1;
    const FieldFunctions f = {
        Find(dll, "QFC_CompressFieldBegin"),   Find(dll, "QFC_CompressField"),
        Find(dll, "QFC_CompressFieldSized"),   Find(dll, "QFC_CompressFieldEnd"),
        Find(dll, "QFC_DecompressFieldBegin"), Find(dll, "QFC_DecompressFieldSized"),
        Find(dll, "QFC_DecompressFieldEnd"),   Find(dll, "QFC_SetQuality"),
        Find(dll, "QFC_MaxFrameSize"),         Find(dll, "QFC_SetCpuMask"),
        Find(dll, "QFC_SetSliceThreads")};

    for (const Layout& layout : LAYOUTS) {
        // A grey gradient with a sharp-edged pattern over it, so that every
        // coefficient band is busy, and a faint colour. The padding byte of
        // BGR32 stays 0.
        std::vector<uint8_t> picture(size_t(layout.line) * HEIGHT);
        for (int y = 0; y < HEIGHT; ++y) {
            uint8_t* row = &picture[size_t(y) * layout.line];
            for (int x = 0; x < WIDTH; ++x) {
                const int grey = 40 + x + 2 * y + ((x / 3 + y / 3) % 3 == 0 ? 50 : 0);
                if (layout.bitCount == 16) {
                    row[2 * x] = uint8_t(x % 2 ? 120 : 136);
                    row[2 * x + 1] = uint8_t(grey);
                } else {
                    for (int c = 0; c < 3; ++c)
                        row[4 * x + c] = uint8_t(grey + 8 * c);
                }
            }
        }

        std::vector<uint8_t> expectedFrame, expectedPicture;
        RoundTrip(f, layout, picture, 0, 0, &expectedFrame, &expectedPicture);
        long error = 0;
        for (size_t i = 0; i < picture.size(); ++i)
            error += std::labs(long(picture[i]) - long(expectedPicture[i]));
        Check(error < long(picture.size()) * 8, "the decoded picture is close to the original");

        // The plain code, SSE2, and everything this processor has.
        for (uint32_t mask : {0u, 0x7u, 0xFFFFFFFFu}) {
            for (unsigned offset = 0; offset < 32; offset += 4) {
                std::vector<uint8_t> frame, decoded;
                RoundTrip(f, layout, picture, mask, offset, &frame, &decoded);
                const std::string where = std::to_string(layout.bitCount) + " bits, mask " + std::to_string(mask) +
                                          ", stack offset " + std::to_string(offset);
                Check(frame == expectedFrame, where + ": the same frame");
                Check(decoded == expectedPicture, where + ": the same decoded picture");
            }
        }
    }
    std::printf("field functions: %d failures\n", failures);
    return failures ? 1 : 0;
}
