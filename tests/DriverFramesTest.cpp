// SPDX-License-Identifier: BSD-2-Clause
// ICM_COMPRESS and ICM_DECOMPRESS through DriverProc: how frames are cut into
// fields, what is refused, and that nothing is read or written outside the
// buffers the host described.
#include <cstring>
#include <random>

#include "DriverTest.h"
#include "support/FrameCoding.h"
#include "support/Photo.h"

namespace {

constexpr uint8_t GUARD = 0xEE;

// The uncompressed header for a picture: negative height when its RGB lines
// are stored top first, or when a UYVY picture is declared so.
BITMAPINFOHEADER PictureHeader(const Picture& picture, bool negativeHeight)
{
    return HeaderOf(picture.pixelFormat, picture.width, negativeHeight ? -picture.height : picture.height);
}

struct Compressed {
    LRESULT result;
    DWORD flags;
    BITMAPINFOHEADER format;
    std::vector<uint8_t> frame;  // the announced size plus guard bytes, cut to the frame on success
};

// The whole sequence a host runs: query, format, size, begin, one frame.
Compressed CompressThroughDriver(const OpenedCodec& codec, const Picture& picture, bool negativeHeight)
{
    const BITMAPINFOHEADER input = PictureHeader(picture, negativeHeight);
    Compressed out = {ICERR_BADFORMAT, 0, {}, {}};
    EXPECT_EQ(codec.Send(ICM_COMPRESS_QUERY, &input), ICERR_OK);
    EXPECT_EQ(codec.Send(ICM_COMPRESS_GET_FORMAT, &input, &out.format), ICERR_OK);
    const auto capacity = size_t(codec.Send(ICM_COMPRESS_GET_SIZE, &input, &out.format));
    EXPECT_EQ(codec.Send(ICM_COMPRESS_BEGIN, &input, &out.format), ICERR_OK);
    out.frame.assign(capacity + 64, GUARD);
    ICCOMPRESS request = {};
    request.lpbiOutput = &out.format;
    request.lpOutput = out.frame.data();
    request.lpbiInput = const_cast<BITMAPINFOHEADER*>(&input);
    request.lpInput = const_cast<uint8_t*>(picture.bytes.data());
    request.lpdwFlags = &out.flags;
    out.result = codec.Send(ICM_COMPRESS, &request, reinterpret_cast<void*>(sizeof request));
    for (size_t i = capacity; i < out.frame.size(); ++i)
        EXPECT_EQ(out.frame[i], GUARD) << "written past the announced size at " << i;
    if (out.result == ICERR_OK)
        out.frame.resize(out.format.biSizeImage);
    EXPECT_EQ(codec.Send(ICM_COMPRESS_END), ICERR_OK);
    return out;
}

LRESULT DecompressThroughDriver(const OpenedCodec& codec, const std::vector<uint8_t>& frame,
                                BITMAPINFOHEADER input, const BITMAPINFOHEADER& output, std::vector<uint8_t>* picture)
{
    ICDECOMPRESS request = {};
    request.lpbiInput = &input;
    request.lpInput = const_cast<uint8_t*>(frame.data());
    request.lpbiOutput = const_cast<BITMAPINFOHEADER*>(&output);
    request.lpOutput = picture->data();
    return codec.Send(ICM_DECOMPRESS, &request, reinterpret_cast<void*>(sizeof request));
}

// Query with the output (which sets the line order), begin, decode one frame.
LRESULT DecodeSequence(const OpenedCodec& codec, const std::vector<uint8_t>& frame, const BITMAPINFOHEADER& input,
                       const BITMAPINFOHEADER& output, std::vector<uint8_t>* picture)
{
    EXPECT_EQ(codec.Send(ICM_DECOMPRESS_QUERY, &input, &output), ICERR_OK);
    EXPECT_EQ(codec.Send(ICM_DECOMPRESS_BEGIN, &input, &output), ICERR_OK);
    return DecompressThroughDriver(codec, frame, input, output, picture);
}

TEST(DriverFrames, LineOrderDoesNotChangeTheCompressedFrame)
{
    for (uint32_t format : {PIXEL_FORMAT_BGR24, PIXEL_FORMAT_BGR32}) {
        OpenedCodec codec;
        const Compressed bottomUp = CompressThroughDriver(codec, ScaledPhoto(format, 720, 486, true), false);
        const Compressed topDown = CompressThroughDriver(codec, ScaledPhoto(format, 720, 486, false), true);
        ASSERT_EQ(bottomUp.result, ICERR_OK);
        ASSERT_EQ(topDown.result, ICERR_OK);
        EXPECT_EQ(bottomUp.flags, AVIIF_KEYFRAME);
        EXPECT_TRUE(bottomUp.frame == topDown.frame) << "format " << format;
        EXPECT_EQ(topDown.format.biHeight, -486);
    }
    OpenedCodec codec;
    const Picture uyvy = ScaledPhoto(PIXEL_FORMAT_UYVY, 720, 486, false);
    EXPECT_TRUE(CompressThroughDriver(codec, uyvy, false).frame == CompressThroughDriver(codec, uyvy, true).frame);
}

TEST(DriverFrames, FrameEqualsTheFieldFunctionsOutput)
{
    OpenedCodec codec;
    const Picture picture = ScaledPhoto(PIXEL_FORMAT_UYVY, 720, 486, false);
    const Compressed viaDriver = CompressThroughDriver(codec, picture, false);
    ASSERT_EQ(viaDriver.result, ICERR_OK);

    const BITMAPINFOHEADER format = PictureHeader(picture, false);
    void* handle = QFC_CompressFieldBegin(&format);
    ASSERT_NE(handle, nullptr);
    std::vector<uint8_t> frame(720 * 486 * 6);
    const size_t line = LineBytes(picture);
    const uint32_t field0 = QFC_CompressField(handle, frame.data(), picture.bytes.data(), int32_t(2 * line), 0);
    const uint32_t size = QFC_CompressField(handle, frame.data(), picture.bytes.data() + line, int32_t(2 * line), 1);
    EXPECT_EQ(QFC_CompressFieldEnd(handle), 0);
    EXPECT_EQ(viaDriver.format.biSizeImage, size);
    EXPECT_EQ(uint32_t(viaDriver.frame[1] | viaDriver.frame[2] << 8 | viaDriver.frame[3] << 16), field0);
    frame.resize(size);
    EXPECT_TRUE(frame == viaDriver.frame);
}

TEST(DriverFrames, ConformanceVectorsThroughTheDriver)
{
    const struct {
        const char* input;
        uint32_t pixelFormat;
        bool bottomUp;
        const char* stem;
    } vectors[] = {
        {"astronaut-720x486.uyvy", PIXEL_FORMAT_UYVY, false, "astronaut-720x486"},
        {"astronaut-720x486-bottomup.bgr24", PIXEL_FORMAT_BGR24, true, "astronaut-720x486-bottomup"},
        {"coffee-720x486-topdown.bgr32", PIXEL_FORMAT_BGR32, false, "coffee-720x486-topdown"},
    };
    for (const auto& v : vectors) {
        SCOPED_TRACE(v.input);
        const Picture picture = ReadVectorPicture(v.input, v.pixelFormat, 720, 486, v.bottomUp);
        const bool negativeHeight = v.pixelFormat != PIXEL_FORMAT_UYVY && !v.bottomUp;
        OpenedCodec encoder;
        const Compressed compressed = CompressThroughDriver(encoder, picture, negativeHeight);
        ASSERT_EQ(compressed.result, ICERR_OK);
        const std::string stem = std::string("vectors/") + v.stem + ".q95";
        EXPECT_TRUE(compressed.frame == ReadTestFile(stem + ".qf25"));

        OpenedCodec decoder;
        std::vector<uint8_t> decoded(picture.bytes.size(), 0);
        const BITMAPINFOHEADER output = PictureHeader(picture, negativeHeight);
        EXPECT_EQ(DecodeSequence(decoder, compressed.frame, compressed.format, output, &decoded), ICERR_OK);
        EXPECT_TRUE(decoded == ReadTestFile(stem + ".dec"));
    }
}

TEST(DriverFrames, RefusedFramesAreStillKeyFrames)
{
    OpenedCodec codec;
    std::vector<uint8_t> picture(720 * 486 * 4), frame(720 * 486 * 6);
    BITMAPINFOHEADER input = Header(720, 486, BI_RGB, 16);
    BITMAPINFOHEADER output = {};
    DWORD flags = 0;
    ICCOMPRESS request = {};
    request.lpbiOutput = &output;
    request.lpOutput = frame.data();
    request.lpbiInput = &input;
    request.lpInput = picture.data();
    request.lpdwFlags = &flags;
    // No BEGIN has accepted a picture yet.
    EXPECT_EQ(codec.Send(ICM_COMPRESS, &request), ICERR_BADFORMAT);
    EXPECT_EQ(flags, AVIIF_KEYFRAME);

    EXPECT_EQ(codec.Send(ICM_COMPRESS_BEGIN, &input), ICERR_OK);
    flags = 0;
    EXPECT_EQ(codec.Send(ICM_COMPRESS, &request), ICERR_BADFORMAT);
    EXPECT_EQ(flags, AVIIF_KEYFRAME);

    // A frame must bring the picture its BEGIN accepted.
    input = HeaderOf(PIXEL_FORMAT_BGR32, 720, 486);
    EXPECT_EQ(codec.Send(ICM_COMPRESS_BEGIN, &input), ICERR_OK);
    const BITMAPINFOHEADER others[] = {HeaderOf(PIXEL_FORMAT_UYVY, 720, 486), HeaderOf(PIXEL_FORMAT_BGR32, 736, 486),
                                       HeaderOf(PIXEL_FORMAT_BGR32, 720, 488)};
    for (const BITMAPINFOHEADER& other : others) {
        request.lpbiInput = const_cast<BITMAPINFOHEADER*>(&other);
        flags = 0;
        EXPECT_EQ(codec.Send(ICM_COMPRESS, &request), ICERR_BADFORMAT);
        EXPECT_EQ(flags, AVIIF_KEYFRAME);
    }
    request.lpbiInput = &input;
    request.lpdwFlags = nullptr;
    EXPECT_EQ(codec.Send(ICM_COMPRESS, &request), ICERR_OK);
    EXPECT_EQ(codec.Send(ICM_COMPRESS), ICERR_BADFORMAT);

    // A refused BEGIN leaves nothing to code with.
    const BITMAPINFOHEADER empty = HeaderOf(PIXEL_FORMAT_BGR32, 0, 486);
    EXPECT_EQ(codec.Send(ICM_COMPRESS_BEGIN, &empty), ICERR_BADFORMAT);
    EXPECT_EQ(codec.Send(ICM_COMPRESS, &request), ICERR_BADFORMAT);
}

// Black and white noise a few lines high needs more than the six bytes per
// pixel the driver announces.
TEST(DriverFrames, FrameBeyondTheAnnouncedSizeIsRefused)
{
    Picture noise{PIXEL_FORMAT_UYVY, 16, 4, false, std::vector<uint8_t>(16 * 4 * 2)};
    std::mt19937 random(1);
    for (uint8_t& byte : noise.bytes)
        byte = random() & 1 ? 255 : 0;
    OpenedCodec codec;
    int32_t best = 10000;
    codec.Send(ICM_SETQUALITY, &best);
    const Compressed compressed = CompressThroughDriver(codec, noise, false);
    EXPECT_EQ(compressed.result, ICERR_BADFORMAT);
    EXPECT_EQ(compressed.flags, AVIIF_KEYFRAME);

    // The field functions code it, given the room.
    const BITMAPINFOHEADER format = PictureHeader(noise, false);
    void* handle = QFC_CompressFieldBegin(&format);
    ASSERT_EQ(QFC_SetQuality(handle, 99), 0);
    const int32_t stride = 2 * 32;
    std::vector<uint8_t> frame(QFC_MaxFrameSize(16, 4));
    EXPECT_NE(QFC_CompressField(handle, frame.data(), noise.bytes.data(), stride, 0), 0u);
    EXPECT_EQ(QFC_CompressField(handle, frame.data(), noise.bytes.data() + 32, stride, 1), 0u);
    EXPECT_NE(QFC_CompressFieldSized(handle, frame.data(), uint32_t(frame.size()), noise.bytes.data(), stride, 0), 0u);
    const uint32_t size =
        QFC_CompressFieldSized(handle, frame.data(), uint32_t(frame.size()), noise.bytes.data() + 32, stride, 1);
    EXPECT_GT(size, 16u * 4 * 6);
    QFC_CompressFieldEnd(handle);
}

TEST(DriverFrames, DecompressTakesQualityBytesOneToNinetyNine)
{
    const Picture picture = ScaledPhoto(PIXEL_FORMAT_UYVY, 96, 48, false);
    OpenedCodec codec;
    Compressed compressed = CompressThroughDriver(codec, picture, false);
    ASSERT_EQ(compressed.result, ICERR_OK);
    const BITMAPINFOHEADER output = PictureHeader(picture, false);
    for (const uint8_t quality : {0, 100, 255}) {
        compressed.frame[0] = quality;
        std::vector<uint8_t> decoded(picture.bytes.size(), GUARD);
        EXPECT_EQ(DecodeSequence(codec, compressed.frame, compressed.format, output, &decoded), ICERR_BADFORMAT);
        EXPECT_TRUE(std::all_of(decoded.begin(), decoded.end(), [](uint8_t b) { return b == GUARD; }));
    }
    for (const uint8_t quality : {1, 99}) {
        compressed.frame[0] = quality;
        std::vector<uint8_t> decoded(picture.bytes.size(), GUARD);
        EXPECT_EQ(DecodeSequence(codec, compressed.frame, compressed.format, output, &decoded), ICERR_OK);
        // The instance now codes at the quality it last decoded.
        int32_t hostQuality = 0;
        codec.Send(ICM_GETQUALITY, &hostQuality);
        EXPECT_EQ(hostQuality, (quality - 50) * 200);
    }
}

TEST(DriverFrames, BottomUpOutputIsFilledTheRightWayUp)
{
    const Picture topDown = ScaledPhoto(PIXEL_FORMAT_BGR32, 720, 486, false);
    OpenedCodec codec;
    const Compressed compressed = CompressThroughDriver(codec, topDown, true);
    ASSERT_EQ(compressed.result, ICERR_OK);

    std::vector<uint8_t> fromTop(topDown.bytes.size(), 0), fromBottom(topDown.bytes.size(), 0);
    EXPECT_EQ(DecodeSequence(codec, compressed.frame, compressed.format, PictureHeader(topDown, true), &fromTop),
              ICERR_OK);
    EXPECT_EQ(DecodeSequence(codec, compressed.frame, compressed.format, PictureHeader(topDown, false), &fromBottom),
              ICERR_OK);
    const size_t line = LineBytes(topDown);
    for (int y = 0; y < topDown.height; ++y)
        ASSERT_EQ(std::memcmp(&fromTop[y * line], &fromBottom[(topDown.height - 1 - y) * line], line), 0) << y;
}

// The layouts DirectShow's AVI Decompressor offers, in its order: the query
// agrees to exactly those a frame is then written in. Wine's decompressor
// begins with the compressed header as the output and names the real one only
// with each frame; that decodes as the usual sequence does.
TEST(DriverFrames, QueryAgreesToExactlyTheLayoutsFramesAreWrittenIn)
{
    const Picture picture = ScaledPhoto(PIXEL_FORMAT_UYVY, 96, 48, false);
    OpenedCodec codec;
    const Compressed compressed = CompressThroughDriver(codec, picture, false);
    ASSERT_EQ(compressed.result, ICERR_OK);
    const BITMAPINFOHEADER input = compressed.format;
    const uint32_t bitFields = 3;  // BI_BITFIELDS
    const BITMAPINFOHEADER offered[] = {
        Header(96, 48, mmioFOURCC('C', 'L', 'J', 'R'), 8), HeaderOf(PIXEL_FORMAT_UYVY, 96, 48),
        Header(96, 48, mmioFOURCC('Y', 'U', 'Y', '2'), 16), HeaderOf(PIXEL_FORMAT_BGR32, 96, 48),
        HeaderOf(PIXEL_FORMAT_BGR24, 96, 48), Header(96, 48, bitFields, 16), Header(96, 48, BI_RGB, 16),
        Header(96, 48, BI_RGB, 8)};
    int agreed = 0;
    for (const BITMAPINFOHEADER& output : offered) {
        SCOPED_TRACE(testing::Message() << std::hex << output.biCompression << " " << output.biBitCount);
        const LRESULT answer = codec.Send(ICM_DECOMPRESS_QUERY, &input, &output);
        EXPECT_EQ(codec.Send(ICM_DECOMPRESS_BEGIN, &input, &input), ICERR_OK);
        std::vector<uint8_t> decoded(picture.bytes.size() * 2, GUARD), expected(decoded.size(), GUARD);
        EXPECT_EQ(DecompressThroughDriver(codec, compressed.frame, input, output, &decoded), answer);
        if (answer != ICERR_OK)
            continue;
        ++agreed;
        OpenedCodec reference;
        EXPECT_EQ(DecodeSequence(reference, compressed.frame, input, output, &expected), ICERR_OK);
        EXPECT_TRUE(decoded == expected);
    }
    EXPECT_EQ(agreed, 3);
}

TEST(DriverFrames, DecompressReadsNoMoreThanTheSample)
{
    const Picture picture = ScaledPhoto(PIXEL_FORMAT_BGR24, 160, 64, false);
    OpenedCodec codec;
    const Compressed compressed = CompressThroughDriver(codec, picture, true);
    ASSERT_EQ(compressed.result, ICERR_OK);
    const BITMAPINFOHEADER output = PictureHeader(picture, true);
    const std::vector<uint8_t> untouched(picture.bytes.size(), GUARD);
    BITMAPINFOHEADER input = compressed.format;
    auto decode = [&](const std::vector<uint8_t>& frame, uint32_t sampleBytes, std::vector<uint8_t>* decoded) {
        input.biSizeImage = sampleBytes;
        *decoded = untouched;
        return DecodeSequence(codec, frame, input, output, decoded);
    };
    std::vector<uint8_t> exact, unsized;
    const auto size = uint32_t(compressed.frame.size());
    EXPECT_EQ(decode(compressed.frame, size, &exact), ICERR_OK);
    EXPECT_EQ(decode(compressed.frame, 0, &unsized), ICERR_OK);
    EXPECT_TRUE(exact == unsized);

    // A sample shorter than the frame's own lengths is refused whole.
    std::vector<uint8_t> truncated;
    const std::vector<uint8_t> head(compressed.frame.begin(), compressed.frame.end() - 1);
    EXPECT_EQ(decode(head, size - 1, &truncated), ICERR_BADFORMAT);
    EXPECT_TRUE(truncated == untouched);

    // Without a sample size, no length past the largest possible frame is
    // trusted; the frame buffer here ends right after the field-0 header.
    std::vector<uint8_t> forged(compressed.frame.begin(), compressed.frame.begin() + 16);
    forged[1] = forged[2] = forged[3] = 0xFF;
    EXPECT_EQ(decode(forged, 0, &truncated), ICERR_BADFORMAT);
    EXPECT_TRUE(truncated == untouched);

    // Frames must describe the picture the host gave.
    std::vector<uint8_t> decoded = untouched;
    const BITMAPINFOHEADER narrower = HeaderOf(PIXEL_FORMAT_BGR24, 144, -64);
    EXPECT_EQ(DecompressThroughDriver(codec, compressed.frame, compressed.format, narrower, &decoded), ICERR_BADFORMAT);
    EXPECT_TRUE(decoded == untouched);

    OpenedCodec fresh;  // no BEGIN accepted anything
    EXPECT_EQ(DecompressThroughDriver(fresh, compressed.frame, compressed.format, output, &decoded), ICERR_BADFORMAT);
    EXPECT_EQ(fresh.Send(ICM_DECOMPRESS), ICERR_BADFORMAT);
}

TEST(FieldFunctions, HandlesAndSizes)
{
    EXPECT_EQ(QFC_CompressFieldEnd(nullptr), 0);
    EXPECT_EQ(QFC_DecompressFieldEnd(nullptr), 0);
    const BITMAPINFOHEADER empty = HeaderOf(PIXEL_FORMAT_UYVY, 720, 0);
    const BITMAPINFOHEADER huge = HeaderOf(PIXEL_FORMAT_UYVY, 65536, 65536);
    for (const BITMAPINFOHEADER* format : {&empty, &huge, static_cast<const BITMAPINFOHEADER*>(nullptr)}) {
        EXPECT_EQ(QFC_CompressFieldBegin(format), nullptr);
        EXPECT_EQ(QFC_DecompressFieldBegin(format), nullptr);
    }
    EXPECT_EQ(QFC_MaxFrameSize(0, 486), 0u);
    EXPECT_EQ(QFC_MaxFrameSize(720, -486), QFC_MaxFrameSize(720, 486));
    EXPECT_GT(QFC_MaxFrameSize(720, 486), 0u);

    const BITMAPINFOHEADER format = HeaderOf(PIXEL_FORMAT_UYVY, 720, 486);
    void* handle = QFC_CompressFieldBegin(&format);
    ASSERT_NE(handle, nullptr);
    EXPECT_LT(QFC_SetQuality(handle, 49), 0);
    EXPECT_LT(QFC_SetQuality(handle, 100), 0);
    EXPECT_LT(QFC_SetQuality(nullptr, 75), 0);
    EXPECT_EQ(QFC_SetQuality(handle, 50), 0);
    EXPECT_EQ(static_cast<DriverInstance*>(handle)->codec->quality, 50);
    QFC_CompressFieldEnd(handle);
}

// Widths that are not whole macroblocks are the field functions' to take.
TEST(FieldFunctions, CodeAndDecodeTheConformanceVector)
{
    const Picture picture = ReadVectorPicture("chelsea-1000x32-bottomup.bgr24", PIXEL_FORMAT_BGR24, 1000, 32, true);
    const BITMAPINFOHEADER format = PictureHeader(picture, false);
    const auto line = ptrdiff_t(LineBytes(picture));
    const uint8_t* top = picture.bytes.data() + 31 * line;
    void* encoder = QFC_CompressFieldBegin(&format);
    ASSERT_NE(encoder, nullptr);
    std::vector<uint8_t> frame(1000 * 32 * 6);
    ASSERT_NE(QFC_CompressField(encoder, frame.data(), top, int32_t(-2 * line), 0), 0u);
    frame.resize(QFC_CompressField(encoder, frame.data(), top - line, int32_t(-2 * line), 1));
    QFC_CompressFieldEnd(encoder);
    EXPECT_TRUE(frame == ReadTestFile("vectors/chelsea-1000x32-bottomup.q95.qf25"));

    void* decoder = QFC_DecompressFieldBegin(&format);
    ASSERT_NE(decoder, nullptr);
    std::vector<uint8_t> decoded(picture.bytes.size(), 0);
    uint8_t* out = decoded.data() + 31 * line;
    EXPECT_EQ(QFC_DecompressField(decoder, out, frame.data(), int32_t(-2 * line), 0), 0);
    EXPECT_EQ(QFC_DecompressFieldSized(decoder, out - line, frame.data(), uint32_t(frame.size()), int32_t(-2 * line), 1),
              0);
    EXPECT_TRUE(decoded == ReadTestFile("vectors/chelsea-1000x32-bottomup.q95.dec"));

    // What the sized decoder reports: a frame cut inside field 1 is damaged,
    // one cut inside the field-0 header is refused.
    EXPECT_EQ(QFC_DecompressFieldSized(decoder, out - line, frame.data(), uint32_t(frame.size()) - 1, int32_t(-2 * line), 1),
              1);
    EXPECT_LT(QFC_DecompressFieldSized(decoder, out, frame.data(), 3, int32_t(-2 * line), 0), 0);
    QFC_DecompressFieldEnd(decoder);
}

}  // namespace
