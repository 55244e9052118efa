// SPDX-License-Identifier: BSD-2-Clause
// Writes the seed inputs of the codec's fuzz targets: frames coded from small
// pieces of a conformance picture, and pieces of it as pictures to code, each
// followed by a tail that names a geometry, a layout and a way in; and the
// session programs. The fuzzers grow their corpora from these.
//
//     qf25_fuzz_seeds <conformance vector directory> <corpus directory>
#include "FuzzSupport.h"
#include "SessionSeeds.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>

namespace {

// The UYVY photograph the pieces come from, top line first.
constexpr int SOURCE_WIDTH = 720;
constexpr int SOURCE_HEIGHT = 486;
constexpr char SOURCE_NAME[] = "/astronaut-720x486.uyvy";
constexpr size_t ENCODE_BODY_BYTES = 512;  // repeated to fill the picture
// A conformance frame as it stands: wide, with a partial band of no lines.
constexpr char VECTOR_FRAME_NAME[] = "/chelsea-720x17.q95.qf25";
constexpr FuzzTail VECTOR_FRAME_TAIL = {720, 17, FUZZ_UYVY, DRIVER_SIZED, {0, 0}, FUZZ_CHECKED_KERNELS, true};

std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream stream(path, std::ios::binary);
    if (!stream)
        FuzzFailure(("cannot read " + path).c_str());
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream stream(path, std::ios::binary);
    stream.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!stream)
        FuzzFailure(("cannot write " + path).c_str());
}

// The top-left width x height pixels of the photograph, from a point well
// inside it.
std::vector<uint8_t> Piece(const std::vector<uint8_t>& source, int width, int height)
{
    constexpr int LEFT = 320, TOP = 120;
    std::vector<uint8_t> piece;
    for (int y = 0; y < height; ++y) {
        const uint8_t* line = source.data() + (size_t(TOP + y) * SOURCE_WIDTH + LEFT) * 2;
        piece.insert(piece.end(), line, line + width * 2);
    }
    return piece;
}

std::vector<uint8_t> Encode(const std::vector<uint8_t>& piece, int width, int height, int quality)
{
    const BITMAPINFOHEADER format = FuzzPictureHeader(FUZZ_UYVY, width, height);
    void* handle = QFC_CompressFieldBegin(&format);
    std::vector<uint8_t> frame(QFC_MaxFrameSize(width, height));
    QFC_SetQuality(handle, quality);
    const FuzzPicture picture = {FUZZ_UYVY, width, height, size_t(width) * 2};
    uint32_t bytes = 0;
    for (int field = 0; field < 2; ++field) {
        const FuzzField at = FuzzFieldOf(picture, field);
        bytes = QFC_CompressFieldSized(handle, frame.data(), uint32_t(frame.size()), piece.data() + at.offset,
                                       at.stride, field);
    }
    QFC_CompressFieldEnd(handle);
    if (bytes == 0)
        FuzzFailure("a seed picture does not code");
    frame.resize(bytes);
    return frame;
}

struct Seed {
    const char* name;
    int width;
    int height;  // of the coded piece; the tail's sign gives the line order
    int quality;
    FuzzTail tail;
};

// Tails name the kernels last: the processor's, SSE2, plain, or checked.
constexpr uint8_t FAST = FUZZ_FAST_KERNELS, SSE2 = FUZZ_SSE2_KERNELS, PLAIN = FUZZ_PLAIN_KERNELS,
                  CHECKED = FUZZ_CHECKED_KERNELS;
constexpr uint8_t FOUR_THREADS = 4;  // the field functions' slice threads, in the decode mode

// Frames: every layout, line order, way in and kernel set; a height that
// leaves a partial band, a width that leaves columns uncoded, one line, the
// refused format, and one large picture.
const Seed DECODE_SEEDS[] = {
    {"uyvy-64x32-q95-driver", 64, 32, 95, {64, 32, FUZZ_UYVY, DRIVER_SIZED, {0, 0}, CHECKED, false}},
    {"uyvy-64x32-q50-driver", 64, 32, 50, {64, 32, FUZZ_UYVY, DRIVER_SIZED, {0, 0}, SSE2, false}},
    {"uyvy-64x32-q99-driver", 64, 32, 99, {64, 32, FUZZ_UYVY, DRIVER_SIZED, {0, 0}, PLAIN, false}},
    {"bgr24-64x32-bottomup-fields-padded", 64, 32, 95,
     {64, 32, FUZZ_BGR24, FIELDS_SIZED | FOUR_THREADS, {1, 8}, CHECKED, false}},
    {"bgr32-64x32-topdown-driver-unsized", 64, 32, 95, {64, -32, FUZZ_BGR32, DRIVER_UNSIZED, {0, 0}, CHECKED, false}},
    {"bgr24-64x32-topdown-fields-unsized", 64, 32, 75,
     {64, -32, FUZZ_BGR24, FIELDS_UNSIZED | FOUR_THREADS, {1, 0}, SSE2, false}},
    {"bgr32-48x17-bottomup-fields", 48, 17, 95, {48, 17, FUZZ_BGR32, FIELDS_SIZED, {0xFF, 4}, CHECKED, false}},
    {"uyvy-40x9-fields", 40, 9, 75, {40, 9, FUZZ_UYVY, FIELDS_SIZED, {1, 0}, PLAIN, false}},
    {"bgr24-32x1-driver", 32, 1, 95, {32, 1, FUZZ_BGR24, DRIVER_SIZED, {0, 0}, FAST, false}},
    {"rgb16-32x16-driver", 32, 16, 95, {32, 16, FUZZ_REFUSED_RGB16, DRIVER_SIZED, {0, 0}, FAST, false}},
    {"uyvy-320x200-q75-fields-large", 320, 200, 75,
     {320, 200, FUZZ_UYVY, FIELDS_SIZED | FOUR_THREADS, {1, 0}, CHECKED, true}},
};

// Pictures: the same variety, at the qualities 50, 75, 95 and 99, by the
// unsized field functions (mode / 50 even) or the driver (odd).
const Seed ENCODE_SEEDS[] = {
    {"uyvy-64x32-q95-fields", 64, 32, 0, {64, 32, FUZZ_UYVY, 45, {0, 1}, CHECKED, false}},
    {"uyvy-64x32-q95-driver", 64, 32, 0, {64, 32, FUZZ_UYVY, 95, {0, 1}, FAST, false}},
    {"bgr24-48x17-bottomup-q50-padded", 48, 17, 0, {48, 17, FUZZ_BGR24, 0, {3, 1}, CHECKED, false}},
    {"bgr32-40x9-topdown-q99-padded", 40, 9, 0, {40, -9, FUZZ_BGR32, 49, {16, 0xFF}, SSE2, false}},
    {"bgr32-40x9-topdown-q99-driver", 40, 9, 0, {40, -9, FUZZ_BGR32, 99, {16, 0xFF}, CHECKED, false}},
    {"bgr24-720x17-topdown-q75-driver", 720, 17, 0, {720, -17, FUZZ_BGR24, 75, {0, 1}, PLAIN, true}},
    {"uyvy-16x1-q95", 16, 1, 0, {16, 1, FUZZ_UYVY, 45, {0, 1}, FAST, false}},
    {"rgb16-32x16-q95-driver", 32, 16, 0, {32, 16, FUZZ_REFUSED_RGB16, 95, {0, 1}, FAST, false}},
    {"bgr32-320x200-q90-large", 320, 200, 0, {320, 200, FUZZ_BGR32, 40, {0, 1}, CHECKED, true}},
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: qf25_fuzz_seeds <conformance vector directory> <corpus directory>\n");
        return 2;
    }
    const std::vector<uint8_t> source = ReadFile(argv[1] + std::string(SOURCE_NAME));
    if (source.size() != size_t(SOURCE_WIDTH) * SOURCE_HEIGHT * 2)
        FuzzFailure("the source photograph has another size");
    const std::string corpus = argv[2];
    std::vector<uint8_t> vectorFrame = ReadFile(argv[1] + std::string(VECTOR_FRAME_NAME));
    AppendFuzzTail(vectorFrame, VECTOR_FRAME_TAIL);
    WriteFile(corpus + "/decode_frame/uyvy-720x17-vector-driver", vectorFrame);
    for (const Seed& seed : DECODE_SEEDS) {
        std::vector<uint8_t> input = Encode(Piece(source, seed.width, seed.height), seed.width, seed.height,
                                            seed.quality);
        AppendFuzzTail(input, seed.tail);
        WriteFile(corpus + "/decode_frame/" + seed.name, input);
    }
    for (const Seed& seed : ENCODE_SEEDS) {
        std::vector<uint8_t> input = Piece(source, seed.width, seed.height);
        input.resize(std::min(input.size(), ENCODE_BODY_BYTES));
        AppendFuzzTail(input, seed.tail);
        WriteFile(corpus + "/encode_round_trip/" + seed.name, input);
    }
    for (const SessionSeed& seed : DriverSessionSeeds())
        WriteFile(corpus + "/driver_session/" + seed.name, seed.bytes);
    for (const SessionSeed& seed : FieldSessionSeeds())
        WriteFile(corpus + "/field_session/" + seed.name, seed.bytes);
    return 0;
}
