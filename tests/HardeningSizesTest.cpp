// SPDX-License-Identifier: BSD-2-Clause
// Hostile sizes through every entry point: geometries that are empty,
// negative, not whole macroblocks, or whose byte counts pass 32 bits; strides
// shorter than a line; pictures a few lines high. Every buffer is a heap block
// of exactly the size the entry point may use, so the address sanitizer sees
// any byte touched beyond it.
#include <cstdlib>
#include <cstring>
#include <random>

#include "DriverTest.h"
#include "support/HostCoding.h"
#include "support/Photo.h"

namespace {

constexpr uint8_t GUARD = 0xEE;
constexpr uint32_t LAYOUTS[] = {PIXEL_FORMAT_UYVY, PIXEL_FORMAT_BGR24, PIXEL_FORMAT_BGR32};

bool AllGuard(const std::vector<uint8_t>& bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == GUARD; });
}

Picture Guarded(const Picture& like)
{
    Picture picture = like;
    std::fill(picture.bytes.begin(), picture.bytes.end(), GUARD);
    return picture;
}

struct Geometry {
    int32_t width;
    int32_t height;
};

uint64_t PixelsOf(const Geometry& g)
{
    return uint64_t(g.width) * uint64_t(std::abs(int64_t(g.height)));
}

// What the codec takes: a positive width, a height, and width x |height| x 6
// bytes (the compressed buffer hosts allocate) within 32 bits.
bool Fits(const Geometry& g)
{
    return g.width > 0 && g.height != 0 && PixelsOf(g) <= UINT32_MAX / 6;
}

const Geometry GEOMETRIES[] = {
    {720, 486}, {16, -1}, {1000, 32}, {15, 16}, {1, 1},
    {0, 486}, {-720, 486}, {720, 0}, {INT32_MIN, 16}, {16, INT32_MIN}, {INT32_MAX, INT32_MAX},
    {65535, 65535}, {65535, -65535},
    {65536, 65536}, {1 << 20, 4096},  // width x height wraps to 0 in 32 bits
    {715827883, 1}, {357913942, -2},  // width x height x 6 wraps to 2 and to 8
    {715827882, -1}, {32768, 21845},  // the largest that fit: 4294967292 and 4294901760 bytes
    {32768, 21846},
};

TEST(HardeningSizes, NegotiationRefusesWhatDoesNotFitAndAnnouncesExactSizes)
{
    OpenedCodec codec;
    for (const Geometry& g : GEOMETRIES) {
        for (uint32_t layout : LAYOUTS) {
            SCOPED_TRACE(testing::Message() << g.width << "x" << g.height << " layout " << layout);
            const bool fits = Fits(g);
            const BITMAPINFOHEADER picture = HeaderOf(layout, g.width, g.height);
            const BITMAPINFOHEADER compressed = Header(g.width, g.height, FOURCC_QF25, 24);
            const LRESULT accepted = fits ? ICERR_OK : ICERR_BADFORMAT;

            EXPECT_EQ(codec.Send(ICM_COMPRESS_QUERY, &picture), fits && g.width % 16 == 0 ? ICERR_OK : ICERR_BADFORMAT);
            BITMAPINFOHEADER suggested;
            std::memset(&suggested, GUARD, sizeof suggested);
            EXPECT_EQ(codec.Send(ICM_COMPRESS_GET_FORMAT, &picture, &suggested), accepted);
            EXPECT_EQ(suggested.biSizeImage, fits ? uint32_t(PixelsOf(g) * 6) : 0xEEEEEEEEu);
            EXPECT_EQ(uint64_t(codec.Send(ICM_COMPRESS_GET_SIZE, &picture, &picture)), fits ? PixelsOf(g) * 6 : 0);
            EXPECT_EQ(codec.Send(ICM_COMPRESS_BEGIN, &picture), accepted);

            EXPECT_EQ(codec.Send(ICM_DECOMPRESS_QUERY, &compressed, &picture), accepted);
            std::memset(&suggested, GUARD, sizeof suggested);
            EXPECT_EQ(codec.Send(ICM_DECOMPRESS_GET_FORMAT, &compressed, &suggested), accepted);
            EXPECT_EQ(suggested.biSizeImage, fits ? uint32_t(PixelsOf(g) * 4) : 0xEEEEEEEEu);
            EXPECT_EQ(codec.Send(ICM_DECOMPRESS_BEGIN, &compressed, &picture), accepted);

            void* encoder = QFC_CompressFieldBegin(&picture);
            void* decoder = QFC_DecompressFieldBegin(&picture);
            EXPECT_EQ(encoder != nullptr, fits);
            EXPECT_EQ(decoder != nullptr, fits);
            QFC_CompressFieldEnd(encoder);
            QFC_DecompressFieldEnd(decoder);
            const uint32_t largest = QFC_MaxFrameSize(g.width, g.height);
            EXPECT_EQ(largest != 0, fits);
            EXPECT_EQ(QFC_MaxFrameSize(g.width, g.height == INT32_MIN ? INT32_MIN : -g.height), largest);
        }
    }
}

// Frame requests whose headers describe more than the host's buffers hold
// are refused before a byte is touched, whatever the last BEGIN accepted.
TEST(HardeningSizes, FrameRequestsWithHostileHeadersTouchNothing)
{
    OpenedCodec codec;
    const Picture small = ScaledPhoto(PIXEL_FORMAT_BGR32, 16, 16, true);
    const std::vector<uint8_t> frame = CompressMessages(codec.id, small);
    ASSERT_FALSE(frame.empty());
    for (const Geometry& g : GEOMETRIES) {
        if (Fits(g))
            continue;
        SCOPED_TRACE(testing::Message() << g.width << "x" << g.height);
        BITMAPINFOHEADER hostile = HeaderOf(PIXEL_FORMAT_BGR32, g.width, g.height);
        std::vector<uint8_t> output(QFC_MaxFrameSize(16, 16), GUARD);
        DWORD flags = 0;
        ICCOMPRESS compress = {};
        compress.lpbiInput = &hostile;
        compress.lpInput = const_cast<uint8_t*>(small.bytes.data());
        compress.lpbiOutput = &hostile;
        compress.lpOutput = output.data();
        compress.lpdwFlags = &flags;
        EXPECT_EQ(codec.Send(ICM_COMPRESS_BEGIN, &hostile), ICERR_BADFORMAT);
        EXPECT_EQ(codec.Send(ICM_COMPRESS, &compress), ICERR_BADFORMAT);
        EXPECT_TRUE(AllGuard(output));

        // After a BEGIN for the small picture, requests that describe the
        // hostile one on either side.
        const BITMAPINFOHEADER smallFormat = FormatOf(small);
        BITMAPINFOHEADER compressed = Header(16, 16, FOURCC_QF25, 24);
        EXPECT_EQ(codec.Send(ICM_DECOMPRESS_BEGIN, &compressed, &smallFormat), ICERR_OK);
        BITMAPINFOHEADER hostileCompressed = Header(g.width, g.height, FOURCC_QF25, 24);
        Picture decoded = Guarded(small);
        for (const auto& [in, out] : {std::pair{&hostileCompressed, &hostile}, std::pair{&compressed, &hostile},
                                      std::pair{&hostileCompressed, const_cast<BITMAPINFOHEADER*>(&smallFormat)}}) {
            ICDECOMPRESS decompress = {};
            decompress.lpbiInput = in;
            decompress.lpInput = const_cast<uint8_t*>(frame.data());
            decompress.lpbiOutput = out;
            decompress.lpOutput = decoded.bytes.data();
            EXPECT_EQ(codec.Send(ICM_DECOMPRESS, &decompress), ICERR_BADFORMAT);
        }
        EXPECT_TRUE(AllGuard(decoded.bytes));
    }
}

// Pictures a few lines high, narrower than a macroblock, or with columns
// beyond the last whole macroblock, in every layout and line order: both ways
// in give the same frame, decoding gives the same picture and writes only the
// coded pixels, which look like the photograph.
TEST(HardeningSizes, AwkwardPicturesStayInsideExactBuffers)
{
    const struct {
        uint32_t layout;
        int width, height;
        bool bottomUp;
    } cases[] = {
        {PIXEL_FORMAT_UYVY, 16, 1, false},   {PIXEL_FORMAT_UYVY, 16, 2, false},   {PIXEL_FORMAT_UYVY, 8, 8, false},
        {PIXEL_FORMAT_UYVY, 40, 3, false},   {PIXEL_FORMAT_UYVY, 1000, 65, false}, {PIXEL_FORMAT_BGR24, 16, 2, true},
        {PIXEL_FORMAT_BGR24, 24, 17, false}, {PIXEL_FORMAT_BGR24, 1000, 33, true}, {PIXEL_FORMAT_BGR24, 16, 16, true},
        {PIXEL_FORMAT_BGR32, 16, 3, true},   {PIXEL_FORMAT_BGR32, 48, 31, false}, {PIXEL_FORMAT_BGR32, 17, 64, true},
        {PIXEL_FORMAT_BGR32, 16, 16, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " layout " << c.layout
                                        << (c.bottomUp ? " bottom-up" : ""));
        const Picture picture = ScaledPhoto(c.layout, c.width, c.height, c.bottomUp);
        const BITMAPINFOHEADER format = FormatOf(picture);
        void* encoder = QFC_CompressFieldBegin(&format);
        void* decoder = QFC_DecompressFieldBegin(&format);
        ASSERT_TRUE(encoder && decoder);
        OpenedCodec codec;

        const std::vector<uint8_t> frame = CompressFields(encoder, picture);
        ASSERT_FALSE(frame.empty());
        EXPECT_TRUE(CompressMessages(codec.id, picture) == frame);

        Picture viaFields = Guarded(picture), viaMessages = Guarded(picture);
        EXPECT_EQ(DecompressFields(decoder, frame, &viaFields), 0);
        EXPECT_EQ(DecompressMessages(codec.id, frame, &viaMessages), ICERR_OK);
        EXPECT_TRUE(viaFields.bytes == viaMessages.bytes);

        // Whole macroblocks of the top (height & ~1) lines are coded.
        const size_t line = LineBytes(picture);
        const size_t codedBytes = size_t(c.width / 16) * 16 * BytesPerPixel(c.layout);
        std::vector<uint8_t> original, decoded;
        for (int y = 0; y < c.height; ++y) {
            const size_t row = (c.bottomUp ? c.height - 1 - y : y) * line;
            const bool codedLine = y < (c.height & ~1);
            for (size_t i = 0; i < line; ++i) {
                if (codedLine && i < codedBytes) {
                    original.push_back(picture.bytes[row + i]);
                    decoded.push_back(viaFields.bytes[row + i]);
                } else {
                    ASSERT_EQ(viaFields.bytes[row + i], GUARD) << "line " << y << " byte " << i;
                }
            }
        }
        // Pictures this small are all detail: RGB, converted and with half its
        // colour resolution, keeps less of it. A picture one line off scores
        // below 20 dB.
        if (!original.empty()) {
            EXPECT_GT(Psnr(original, decoded, 0, 1), c.layout == PIXEL_FORMAT_UYVY ? 35.0 : 20.0);
        }
        QFC_CompressFieldEnd(encoder);
        QFC_DecompressFieldEnd(decoder);
    }
}

// Black and white noise at the best quality is the costliest picture there
// is; a few lines high, partial bands make it costlier still per pixel.
TEST(HardeningSizes, MaxFrameSizeHoldsTheCostliestPictures)
{
    std::mt19937 random(25);
    for (uint32_t layout : LAYOUTS) {
        for (const auto& [width, height] : {std::pair{16, 1}, {16, 2}, {32, 3}, {48, 17}, {16, 18}, {64, 33}}) {
            SCOPED_TRACE(testing::Message() << width << "x" << height << " layout " << layout);
            Picture noise{layout, width, height, false, std::vector<uint8_t>(size_t(width) * height * BytesPerPixel(layout))};
            for (uint8_t& byte : noise.bytes)
                byte = random() & 1 ? 255 : 0;
            const BITMAPINFOHEADER format = FormatOf(noise);
            void* encoder = QFC_CompressFieldBegin(&format);
            void* decoder = QFC_DecompressFieldBegin(&format);
            ASSERT_EQ(QFC_SetQuality(encoder, 99), 0);
            const std::vector<uint8_t> frame = CompressFields(encoder, noise);
            EXPECT_FALSE(frame.empty());
            Picture decoded = Guarded(noise);
            EXPECT_EQ(DecompressFields(decoder, frame, &decoded), 0);
            QFC_CompressFieldEnd(encoder);
            QFC_DecompressFieldEnd(decoder);
        }
    }
}

// The four slices of a field are written at once: lines closer than the bytes
// of their whole macroblocks would overlap, so such strides are refused
// before anything is written. A field stored on its own, one line after the
// other, is the closest it may be.
TEST(HardeningSizes, DecoderRefusesLinesThatOverlap)
{
    const Picture picture = ScaledPhoto(PIXEL_FORMAT_UYVY, 1000, 32, false);  // 992 pixels coded: 1984 bytes
    const BITMAPINFOHEADER format = FormatOf(picture);
    void* encoder = QFC_CompressFieldBegin(&format);
    void* decoder = QFC_DecompressFieldBegin(&format);
    const std::vector<uint8_t> frame = CompressFields(encoder, picture);
    ASSERT_FALSE(frame.empty());
    Picture whole = Guarded(picture);
    ASSERT_EQ(DecompressFields(decoder, frame, &whole), 0);

    for (int32_t stride : {0, 1, -1, 1983, -1983, 1000}) {
        std::vector<uint8_t> field(picture.bytes.size(), GUARD);
        uint8_t* top = stride < 0 ? field.data() + field.size() / 2 : field.data();
        EXPECT_LT(QFC_DecompressFieldSized(decoder, top, frame.data(), uint32_t(frame.size()), stride, 0), 0) << stride;
        EXPECT_EQ(QFC_DecompressField(decoder, top, frame.data(), stride, 0), 0);
        EXPECT_TRUE(AllGuard(field)) << stride;
    }
    const size_t line = LineBytes(picture);
    for (int32_t stride : {1984, -1984}) {
        for (int f = 0; f < 2; ++f) {
            // 16 field lines, the last one ending where its coded bytes do.
            std::vector<uint8_t> field(16 * 1984, GUARD);
            uint8_t* top = stride < 0 ? field.data() + 15 * 1984 : field.data();
            EXPECT_EQ(QFC_DecompressFieldSized(decoder, top, frame.data(), uint32_t(frame.size()), stride, f), 0);
            for (int y = 0; y < 16; ++y) {
                const uint8_t* got = top + ptrdiff_t(y) * stride;
                const uint8_t* want = whole.bytes.data() + (2 * y + f) * line;
                ASSERT_TRUE(std::equal(got, got + 1984, want)) << "stride " << stride << " field " << f << " line " << y;
            }
        }
    }
    QFC_CompressFieldEnd(encoder);
    QFC_DecompressFieldEnd(decoder);
}

// The encoder only reads, so lines may overlap: it reads each line where the
// stride says and nothing beyond the buffer those lines span.
TEST(HardeningSizes, EncoderReadsOverlappingLinesInsideTheirSpan)
{
    const int width = 64, height = 8, lineBytes = 128;
    const Picture source = ScaledPhoto(PIXEL_FORMAT_UYVY, width, height, false);
    const BITMAPINFOHEADER format = FormatOf(source);
    void* encoder = QFC_CompressFieldBegin(&format);
    for (int step : {0, 32, 64, 127}) {
        SCOPED_TRACE(testing::Message() << "lines " << step << " bytes apart");
        const std::vector<uint8_t> span(source.bytes.begin(), source.bytes.begin() + (height - 1) * step + lineBytes);
        Picture unfolded{PIXEL_FORMAT_UYVY, width, height, false, {}};
        for (int y = 0; y < height; ++y)
            unfolded.bytes.insert(unfolded.bytes.end(), span.begin() + y * step, span.begin() + y * step + lineBytes);

        std::vector<uint8_t> frame(QFC_MaxFrameSize(width, height));
        const auto capacity = uint32_t(frame.size());
        ASSERT_NE(QFC_CompressFieldSized(encoder, frame.data(), capacity, span.data(), 2 * step, 0), 0u);
        const uint32_t size = QFC_CompressFieldSized(encoder, frame.data(), capacity, span.data() + step, 2 * step, 1);
        frame.resize(size);
        EXPECT_TRUE(frame == CompressFields(encoder, unfolded));
    }
    QFC_CompressFieldEnd(encoder);
}

// A handle whose layout is none the codec knows neither codes nor decodes,
// and says so instead of reporting an empty success.
TEST(HardeningSizes, FieldFunctionsRefuseLayoutsTheyCannotCode)
{
    const BITMAPINFOHEADER yuy2 = Header(64, 16, mmioFOURCC('Y', 'U', 'Y', '2'), 16);
    void* encoder = QFC_CompressFieldBegin(&yuy2);
    void* decoder = QFC_DecompressFieldBegin(&yuy2);
    ASSERT_TRUE(encoder && decoder);
    std::vector<uint8_t> picture(64 * 16 * 2, GUARD), frame(QFC_MaxFrameSize(64, 16), GUARD);
    EXPECT_EQ(QFC_CompressFieldSized(encoder, frame.data(), uint32_t(frame.size()), picture.data(), 256, 0), 0u);
    EXPECT_EQ(QFC_CompressField(encoder, frame.data(), picture.data(), 256, 0), 0u);
    EXPECT_TRUE(AllGuard(frame));

    const Picture uyvy = ScaledPhoto(PIXEL_FORMAT_UYVY, 64, 16, false);
    const BITMAPINFOHEADER format = FormatOf(uyvy);
    void* uyvyEncoder = QFC_CompressFieldBegin(&format);
    frame = CompressFields(uyvyEncoder, uyvy);
    EXPECT_LT(QFC_DecompressFieldSized(decoder, picture.data(), frame.data(), uint32_t(frame.size()), 256, 0), 0);
    EXPECT_TRUE(AllGuard(picture));
    QFC_CompressFieldEnd(uyvyEncoder);
    QFC_CompressFieldEnd(encoder);
    QFC_DecompressFieldEnd(decoder);
}

}  // namespace
