// SPDX-License-Identifier: BSD-2-Clause
// Format negotiation: which pictures the compressor takes, the formats and
// sizes it suggests, and what the BEGIN messages record.
#include "DriverTest.h"
#include "driver/Formats.h"

namespace {

constexpr uint32_t QF25 = mmioFOURCC('Q', 'F', '2', '5');
constexpr uint32_t BITFIELDS = 3;  // BI_BITFIELDS: RGB with colour masks

TEST(DriverFormats, CompressQueryTakesThreeLayoutsInWholeMacroblocks)
{
    OpenedCodec codec;
    const BITMAPINFOHEADER accepted[] = {
        HeaderOf(PIXEL_FORMAT_UYVY, 720, 486), HeaderOf(PIXEL_FORMAT_BGR24, 720, -480),
        HeaderOf(PIXEL_FORMAT_BGR32, 1920, 1080), Header(16, 1, mmioFOURCC('D', 'I', 'B', ' '), 24)};
    for (const BITMAPINFOHEADER& input : accepted)
        EXPECT_EQ(codec.Send(ICM_COMPRESS_QUERY, &input), ICERR_OK) << input.biWidth << "x" << input.biHeight;
    EXPECT_TRUE(codec.instance()->codec->topDown == 0);  // the last one was bottom-up

    const BITMAPINFOHEADER refused[] = {
        HeaderOf(PIXEL_FORMAT_UYVY, 360, -486),          Header(720, 486, BI_RGB, 16),
        Header(720, 486, mmioFOURCC('Y', 'U', 'Y', '2'), 16), Header(720, 486, mmioFOURCC('V', 'Y', 'U', 'Y'), 16),
        HeaderOf(PIXEL_FORMAT_UYVY, 0, 486),             HeaderOf(PIXEL_FORMAT_UYVY, -720, 486),
        HeaderOf(PIXEL_FORMAT_UYVY, 720, 0),             HeaderOf(PIXEL_FORMAT_BGR32, 65536, -65536)};
    for (const BITMAPINFOHEADER& input : refused) {
        TraceCapture trace;
        EXPECT_EQ(codec.Send(ICM_COMPRESS_QUERY, &input), ICERR_BADFORMAT) << input.biWidth << "x" << input.biHeight;
        EXPECT_TRUE(trace.Contains("Returning Bad Format"));
    }
    // The line order is recorded whatever the answer.
    EXPECT_TRUE(codec.instance()->codec->topDown != 0);

    TraceCapture trace;
    EXPECT_EQ(codec.Send(ICM_COMPRESS_QUERY, &accepted[0]), ICERR_OK);
    EXPECT_EQ(trace.lines(), std::vector<std::string>{"FMT = 720x486 (ColorSpace UYVY)"});
    EXPECT_EQ(codec.Send(ICM_COMPRESS_QUERY), ICERR_BADFORMAT);
}

TEST(DriverFormats, CompressedFormatAnnouncesSixBytesPerPixel)
{
    OpenedCodec codec;
    BITMAPINFOHEADER input = HeaderOf(PIXEL_FORMAT_BGR24, 720, -480);
    EXPECT_EQ(codec.Send(ICM_COMPRESS_GET_FORMAT, &input), 40);  // no output: the size it needs

    input.biXPelsPerMeter = 3780;
    input.biClrUsed = 7;
    input.biSizeImage = 1;
    BITMAPINFOHEADER output = {};
    EXPECT_EQ(codec.Send(ICM_COMPRESS_GET_FORMAT, &input, &output), ICERR_OK);
    EXPECT_EQ(output.biSize, 40u);
    EXPECT_EQ(output.biWidth, 720);
    EXPECT_EQ(output.biHeight, -480);
    EXPECT_EQ(output.biBitCount, 24);
    EXPECT_EQ(output.biCompression, QF25);
    EXPECT_EQ(output.biSizeImage, 2073600u);
    EXPECT_EQ(output.biXPelsPerMeter, 0);
    EXPECT_EQ(output.biClrUsed, 0u);
    EXPECT_TRUE(codec.instance()->codec->topDown != 0);
    EXPECT_EQ(codec.Send(ICM_COMPRESS_GET_SIZE, &input, &output), 2073600);

    // The input may be its own output.
    BITMAPINFOHEADER inPlace = HeaderOf(PIXEL_FORMAT_UYVY, 720, 486);
    EXPECT_EQ(codec.Send(ICM_COMPRESS_GET_FORMAT, &inPlace, &inPlace), ICERR_OK);
    EXPECT_EQ(inPlace.biCompression, QF25);
    EXPECT_EQ(codec.Send(ICM_COMPRESS_GET_SIZE, &inPlace, &inPlace), 2099520);
    EXPECT_EQ(codec.Send(ICM_COMPRESS_GET_SIZE, &inPlace), 2099520);  // no output: the input's geometry
    EXPECT_TRUE(codec.instance()->codec->topDown == 0);

    // Sizes that do not fit 32 bits are never announced.
    const BITMAPINFOHEADER huge = HeaderOf(PIXEL_FORMAT_UYVY, 32768, 32768);
    EXPECT_EQ(codec.Send(ICM_COMPRESS_GET_FORMAT, &huge, &output), ICERR_BADFORMAT);
    EXPECT_EQ(codec.Send(ICM_COMPRESS_GET_SIZE, &huge, &huge), 0);
    EXPECT_EQ(codec.Send(ICM_COMPRESS_GET_SIZE), 0);
}

TEST(DriverFormats, CompressBeginRecordsThePicture)
{
    OpenedCodec codec;
    CodecInstance* instance = codec.instance()->codec;
    {
        TraceCapture trace;
        const BITMAPINFOHEADER input = HeaderOf(PIXEL_FORMAT_BGR32, 720, -486);
        EXPECT_EQ(codec.Send(ICM_COMPRESS_BEGIN, &input), ICERR_OK);
        EXPECT_EQ(trace.lines().back(), "Resolution = 720x486 (BGR32)");
        EXPECT_EQ(instance->width, 720);
        EXPECT_EQ(instance->height, 486);
        EXPECT_EQ(instance->pixelFormat, uint32_t(PIXEL_FORMAT_BGR32));
        EXPECT_TRUE(instance->topDown == 0);  // only the queries set the line order
        EXPECT_TRUE(codec.instance()->compressReady);
    }
    for (const BITMAPINFOHEADER& input : {Header(720, 486, BI_RGB, 16), Header(720, 486, mmioFOURCC('Y', 'U', 'Y', '2'), 16)}) {
        TraceCapture trace;
        EXPECT_EQ(codec.Send(ICM_COMPRESS_BEGIN, &input), ICERR_OK);
        EXPECT_EQ(trace.lines().back(), "Resolution = 720x486 (Unknown)");
        EXPECT_EQ(instance->pixelFormat, uint32_t(PIXEL_FORMAT_UNSUPPORTED));
    }
    const BITMAPINFOHEADER empty = HeaderOf(PIXEL_FORMAT_UYVY, 720, 0);
    EXPECT_EQ(codec.Send(ICM_COMPRESS_BEGIN, &empty), ICERR_BADFORMAT);
    EXPECT_FALSE(codec.instance()->compressReady);
    EXPECT_EQ(instance->height, 486);
    EXPECT_EQ(codec.Send(ICM_COMPRESS_BEGIN), ICERR_BADFORMAT);
}

TEST(DriverFormats, DecompressQueryTakesUpperCaseQf25)
{
    OpenedCodec codec;
    CodecInstance* instance = codec.instance()->codec;
    const BITMAPINFOHEADER lower = Header(720, 486, mmioFOURCC('q', 'f', '2', '5'), 24);
    EXPECT_EQ(codec.Send(ICM_DECOMPRESS_QUERY, &lower), ICERR_BADFORMAT);

    const BITMAPINFOHEADER input = Header(720, -486, QF25, 24);
    instance->topDown = 1;
    EXPECT_EQ(codec.Send(ICM_DECOMPRESS_QUERY, &input), ICERR_OK);
    EXPECT_TRUE(instance->topDown != 0);  // no output header: unchanged

    const BITMAPINFOHEADER bottomUp = HeaderOf(PIXEL_FORMAT_BGR32, 720, 486);
    EXPECT_EQ(codec.Send(ICM_DECOMPRESS_QUERY, &input, &bottomUp), ICERR_OK);
    EXPECT_TRUE(instance->topDown == 0);
    // An output of another geometry or of a layout the frames cannot be
    // written in is refused, and keeps the line order.
    const BITMAPINFOHEADER refused[] = {HeaderOf(PIXEL_FORMAT_BGR32, 736, 486),
                                        Header(720, -486, mmioFOURCC('Y', 'U', 'Y', '2'), 16),
                                        Header(720, -486, BI_RGB, 16), Header(720, -486, BITFIELDS, 16),
                                        Header(720, -486, BI_RGB, 8), Header(720, -486, QF25, 24)};
    for (const BITMAPINFOHEADER& output : refused) {
        EXPECT_EQ(codec.Send(ICM_DECOMPRESS_QUERY, &input, &output), ICERR_BADFORMAT) << output.biCompression;
        EXPECT_TRUE(instance->topDown == 0);
    }
    const BITMAPINFOHEADER topDownUyvy = HeaderOf(PIXEL_FORMAT_UYVY, 720, -486);
    EXPECT_EQ(codec.Send(ICM_DECOMPRESS_QUERY, &input, &topDownUyvy), ICERR_OK);
    EXPECT_TRUE(instance->topDown != 0);

    // Height 0: the line order follows the output, the empty picture is refused.
    instance->topDown = 0;
    const BITMAPINFOHEADER emptyInput = Header(720, 0, QF25, 24);
    const BITMAPINFOHEADER emptyOutput = HeaderOf(PIXEL_FORMAT_BGR32, 720, 0);
    EXPECT_EQ(codec.Send(ICM_DECOMPRESS_QUERY, &emptyInput, &emptyOutput), ICERR_BADFORMAT);
    EXPECT_TRUE(instance->topDown != 0);
    EXPECT_EQ(codec.Send(ICM_DECOMPRESS_QUERY), ICERR_BADFORMAT);
}

TEST(DriverFormats, DecompressSuggestsBottomUpBgr32)
{
    OpenedCodec codec;
    BITMAPINFOHEADER input = Header(720, -486, QF25, 16);
    EXPECT_EQ(codec.Send(ICM_DECOMPRESS_GET_FORMAT, &input), 40);
    input.biPlanes = 3;
    input.biYPelsPerMeter = 99;
    BITMAPINFOHEADER output = {};
    EXPECT_EQ(codec.Send(ICM_DECOMPRESS_GET_FORMAT, &input, &output), ICERR_OK);
    EXPECT_EQ(output.biSize, 40u);
    EXPECT_EQ(output.biWidth, 720);
    EXPECT_EQ(output.biHeight, 486);
    EXPECT_EQ(output.biPlanes, 1);
    EXPECT_EQ(output.biBitCount, 32);
    EXPECT_EQ(output.biCompression, uint32_t(BI_RGB));
    EXPECT_EQ(output.biSizeImage, 1399680u);
    EXPECT_EQ(output.biYPelsPerMeter, 0);

    const BITMAPINFOHEADER other = Header(720, 486, mmioFOURCC('q', 'f', '2', '5'), 24);
    EXPECT_EQ(codec.Send(ICM_DECOMPRESS_GET_FORMAT, &other, &output), ICERR_BADFORMAT);
    const BITMAPINFOHEADER huge = Header(65536, 65536, QF25, 24);
    EXPECT_EQ(codec.Send(ICM_DECOMPRESS_GET_FORMAT, &huge, &output), ICERR_BADFORMAT);
    // Hosts ask this before any open.
    EXPECT_EQ(Send(0, ICM_DECOMPRESS_GET_FORMAT, &input, &output), ICERR_OK);
}

TEST(DriverFormats, DecompressBeginNeedsMatchingGeometry)
{
    OpenedCodec codec;
    CodecInstance* instance = codec.instance()->codec;
    const BITMAPINFOHEADER input = Header(720, 486, QF25, 24);
    const BITMAPINFOHEADER output = HeaderOf(PIXEL_FORMAT_UYVY, 720, -486);
    EXPECT_EQ(codec.Send(ICM_DECOMPRESS_BEGIN, &input, &output), ICERR_OK);
    EXPECT_EQ(instance->width, 720);
    EXPECT_EQ(instance->height, 486);
    EXPECT_EQ(instance->pixelFormat, uint32_t(PIXEL_FORMAT_UYVY));
    EXPECT_TRUE(codec.instance()->decompressReady);

    const BITMAPINFOHEADER wider = HeaderOf(PIXEL_FORMAT_BGR32, 728, 486);
    EXPECT_EQ(codec.Send(ICM_DECOMPRESS_BEGIN, &input, &wider), ICERR_BADFORMAT);
    EXPECT_EQ(instance->width, 720);
    EXPECT_EQ(instance->pixelFormat, uint32_t(PIXEL_FORMAT_UYVY));
    EXPECT_FALSE(codec.instance()->decompressReady);
    EXPECT_EQ(codec.Send(ICM_DECOMPRESS_BEGIN, &input), ICERR_BADFORMAT);

    // An output the frames cannot write is accepted here and refused per frame.
    const BITMAPINFOHEADER yuy2 = Header(720, 486, mmioFOURCC('Y', 'U', 'Y', '2'), 16);
    EXPECT_EQ(codec.Send(ICM_DECOMPRESS_BEGIN, &input, &yuy2), ICERR_OK);
    EXPECT_EQ(instance->pixelFormat, uint32_t(PIXEL_FORMAT_UNSUPPORTED));
}

TEST(DriverFormats, GeometryLimitsHoldOnEveryWordSize)
{
    EXPECT_TRUE(GeometryFits(16, 1));
    EXPECT_TRUE(GeometryFits(16, -1));
    EXPECT_FALSE(GeometryFits(0, 16));
    EXPECT_FALSE(GeometryFits(-16, 16));
    EXPECT_FALSE(GeometryFits(16, 0));
    EXPECT_FALSE(GeometryFits(INT32_MAX, INT32_MIN));
    // width x height x 6 = 4294967292 still fits; one more pixel does not.
    EXPECT_TRUE(GeometryFits(715827882, -1));
    EXPECT_EQ(CompressedCapacity(715827882, -1), 4294967292u);
    EXPECT_FALSE(GeometryFits(715827883, 1));
    EXPECT_EQ(CompressedCapacity(715827883, 1), 0u);
    EXPECT_EQ(Magnitude(INT32_MIN), 2147483648u);
}

}  // namespace
