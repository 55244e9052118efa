// SPDX-License-Identifier: BSD-2-Clause
// Writes a QF25 AVI of 25 frames a second holding the given files' bytes as
// its frames, sound or damaged: the files the VLC module's tests play.
//
//   qf25_write_avi OUT WIDTH HEIGHT FRAME...
#include "AviOutput.h"
#include "ToolError.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s OUT WIDTH HEIGHT FRAME...\n", argv[0]);
        return EXIT_USAGE;
    }
    try {
        AviStreamInfo stream;
        stream.width = std::stoi(argv[2]);
        stream.height = std::stoi(argv[3]);
        stream.format = CompressedHeader(PIXEL_LAYOUTS[0], stream.width, stream.height);
        AviWriter writer;
        OpenAvi(writer, argv[1], stream);
        for (int i = 4; i < argc; ++i) {
            std::ifstream in(argv[i], std::ios::binary);
            if (!in)
                Fail(argv[i], "cannot be read");
            const std::string frame{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            WriteAviFrame(writer, reinterpret_cast<const uint8_t*>(frame.data()), uint32_t(frame.size()));
        }
        CloseAvi(writer);
    } catch (const ToolError& error) {
        std::fprintf(stderr, "%s\n", error.message.c_str());
        return error.exitCode;
    }
    return EXIT_OK;
}
