// SPDX-License-Identifier: BSD-2-Clause
// DriverProc's message table: results, trace lines, open and close, the
// information block and the host's quality scale.
#include <cstring>

#include "DriverTest.h"
#include "codec/ConstructionFailures.h"
#include "driver/Processor.h"

namespace {

TEST(DriverMessages, LibraryMessagesAnswerAsTheTableSays)
{
    TraceCapture trace;
    EXPECT_EQ(Send(0, DRV_LOAD), 1);
    EXPECT_EQ(Send(0, DRV_ENABLE), 1);
    EXPECT_EQ(Send(0, DRV_DISABLE), 1);
    EXPECT_EQ(Send(0, DRV_FREE), 1);
    EXPECT_EQ(Send(0, DRV_CONFIGURE), 0);
    EXPECT_EQ(Send(0, DRV_QUERYCONFIGURE), 0);
    EXPECT_EQ(Send(0, DRV_INSTALL), 1);
    EXPECT_EQ(Send(0, DRV_REMOVE), 1);
    const std::vector<std::string> expected = {"DRV_LOAD", "DRV_ENABLE", "DRV_DISABLE", "DRV_FREE",
                                               "DRV_CONFIGURE", "DRV_QUERYCONFIGURE", "DRV_INSTALL", "DRV_REMOVE"};
    EXPECT_EQ(trace.lines(), expected);
}

TEST(DriverMessages, OpenAcceptsVideoCompressorsOnly)
{
    ICOPEN parameters = {};
    parameters.fccType = ICTYPE_VIDEO;
    parameters.fccHandler = mmioFOURCC('q', 'f', '2', '5');
    parameters.dwError = 12345;
    const uintptr_t id = uintptr_t(Send(0, DRV_OPEN, nullptr, &parameters));
    ASSERT_NE(id, 0u);
    EXPECT_EQ(parameters.dwError, 0);
    const BITMAPINFOHEADER input = HeaderOf(PIXEL_FORMAT_UYVY, 720, 486);
    BITMAPINFOHEADER output = {};
    EXPECT_EQ(Send(id, ICM_COMPRESS_GET_FORMAT, &input, &output), ICERR_OK);
    EXPECT_EQ(output.biCompression, mmioFOURCC('Q', 'F', '2', '5'));
    EXPECT_EQ(Send(id, DRV_CLOSE), 1);

    parameters.fccType = mmioFOURCC('v', 'i', 'd', 's');
    parameters.dwError = 12345;
    EXPECT_EQ(Send(0, DRV_OPEN, nullptr, &parameters), 0);
    EXPECT_EQ(parameters.dwError, 0);

    // The compression manager's own session instance comes without
    // parameters; it still describes its frames as QF25.
    const uintptr_t session = uintptr_t(Send(0, DRV_OPEN));
    ASSERT_NE(session, 0u);
    BITMAPINFOHEADER sessionOutput = {};
    EXPECT_EQ(Send(session, ICM_COMPRESS_GET_FORMAT, &input, &sessionOutput), ICERR_OK);
    EXPECT_EQ(sessionOutput.biCompression, mmioFOURCC('Q', 'F', '2', '5'));
    EXPECT_EQ(Send(session, DRV_CLOSE), 1);

    EXPECT_EQ(Send(0, DRV_CLOSE), 1);
}

TEST(DriverMessages, OpenFailsCleanlyWhenNoInstanceCanBeMade)
{
    for (int step = 1; step <= 3; ++step) {
        FailConstructionStep(step);
        EXPECT_EQ(Send(0, DRV_OPEN), 0) << "failing acquisition " << step;
        FailConstructionStep(0);
    }
}

TEST(DriverMessages, InfoBlockIsFilledAndLeavesDriverNameAlone)
{
    ICINFO info;
    std::memset(&info, 0x5A, sizeof info);
    // Hosts list codecs by asking before any open.
    EXPECT_EQ(Send(0, ICM_GETINFO, &info, reinterpret_cast<void*>(sizeof info)), 568);
    EXPECT_EQ(info.dwSize, 568u);
    EXPECT_EQ(info.fccType, mmioFOURCC('v', 'i', 'd', 'c'));
    EXPECT_EQ(info.fccHandler, mmioFOURCC('Q', 'F', '2', '5'));
    EXPECT_EQ(info.dwFlags, 0xA9u);
    EXPECT_EQ(info.dwVersion, 0u);
    EXPECT_EQ(info.dwVersionICM, 0x104u);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(info.szName)), u"QF CoDec");
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(info.szDescription)), u"Trasko Video Codec [QF25]");
    for (WCHAR c : info.szDriver)
        EXPECT_EQ(c, 0x5A5A);

    OpenedCodec codec;
    ICINFO opened = {};
    EXPECT_EQ(codec.Send(ICM_GETINFO, &opened), 568);
    EXPECT_EQ(opened.fccHandler, info.fccHandler);

    EXPECT_EQ(Send(0, ICM_GETINFO), 0);
    ICINFO small;
    std::memset(&small, 0x5A, sizeof small);
    EXPECT_EQ(Send(0, ICM_GETINFO, &small, reinterpret_cast<void*>(100)), 0);
    EXPECT_EQ(small.dwSize, 0x5A5A5A5Au);
}

TEST(DriverMessages, QualityFollowsTheHostScale)
{
    OpenedCodec codec;
    int32_t value = -7;
    EXPECT_EQ(codec.Send(ICM_GETQUALITY, &value), ICERR_OK);
    EXPECT_EQ(value, 9000);

    const struct {
        int32_t set;
        int32_t reported;
    } cases[] = {{10000, 9800}, {9999, 9800}, {9000, 9000}, {200, 200}, {199, 0},
                 {-1, 0},       {-400, 0},    {0, 0},       {INT32_MIN, 0}, {INT32_MAX, 9800}};
    for (const auto& c : cases) {
        value = c.set;
        EXPECT_EQ(codec.Send(ICM_SETQUALITY, &value), ICERR_OK);
        EXPECT_EQ(codec.Send(ICM_GETQUALITY, &value), ICERR_OK);
        EXPECT_EQ(value, c.reported) << "set " << c.set;
        // What the host reads back and sets again changes nothing.
        EXPECT_EQ(codec.Send(ICM_SETQUALITY, &value), ICERR_OK);
        EXPECT_EQ(codec.Send(ICM_GETQUALITY, &value), ICERR_OK);
        EXPECT_EQ(value, c.reported);
    }
    EXPECT_EQ(codec.instance()->codec->quality, 99);
    EXPECT_EQ(codec.Send(ICM_SETQUALITY), ICERR_BADPARAM);
    EXPECT_EQ(codec.Send(ICM_GETQUALITY), ICERR_BADPARAM);
}

TEST(DriverMessages, UnsupportedMessagesAreRefusedOrLeftToTheSystem)
{
    OpenedCodec codec;
    TraceCapture trace;
    EXPECT_EQ(codec.Send(0x4020), ICERR_UNSUPPORTED);
    EXPECT_TRUE(trace.Contains("default: uMsg = 0x4020"));
    for (UINT message : {ICM_DECOMPRESS_SET_PALETTE, ICM_DECOMPRESS_GET_PALETTE, ICM_DECOMPRESSEX_BEGIN,
                         ICM_DECOMPRESSEX_QUERY, ICM_DECOMPRESSEX, ICM_DECOMPRESSEX_END})
        EXPECT_EQ(codec.Send(message), ICERR_UNSUPPORTED) << message;
    EXPECT_TRUE(trace.Contains("uMsg = 0x401d"));
    // Quality is supported, yet there is no default to report.
    for (UINT message : {ICM_GETDEFAULTQUALITY, ICM_GETBUFFERSWANTED, ICM_GETDEFAULTKEYFRAMERATE})
        EXPECT_EQ(codec.Send(message), ICERR_UNSUPPORTED) << message;
    EXPECT_TRUE(trace.Contains("ICM_GETDEFAULTQUALITY/ICM_GETBUFFERSWANTED/ICM_GETDEFAULTKEYFRAMERATE"));

    for (UINT message : {ICM_COMPRESS_FRAMES_INFO, ICM_GETSTATE, ICM_SETSTATE, ICM_SET, ICM_GET})
        EXPECT_EQ(codec.Send(message), ICERR_OK) << message;
    // No dialogs: the query form (-1) and the real request both answer 0.
    const int messageBoxes = PlatformCalls().messageBoxCount;
    for (UINT message : {ICM_CONFIGURE, ICM_ABOUT}) {
        EXPECT_EQ(DriverProc(codec.id, nullptr, message, -1, 0), ICERR_OK);
        EXPECT_EQ(DriverProc(codec.id, nullptr, message, 0, 0), ICERR_OK);
    }
    EXPECT_EQ(PlatformCalls().messageBoxCount, messageBoxes);

    const int defaults = PlatformCalls().defaultCount;
    EXPECT_EQ(codec.Send(DRV_EXITSESSION), 0);
    EXPECT_EQ(PlatformCalls().defaultCount, defaults + 1);
    EXPECT_EQ(PlatformCalls().defaultMessage, DRV_EXITSESSION);
    EXPECT_TRUE(trace.Contains("default: uMsg = 0xb"));
}

TEST(DriverMessages, InstanceMessagesWithoutAnInstanceAreRefused)
{
    BITMAPINFOHEADER input = HeaderOf(PIXEL_FORMAT_UYVY, 720, 486);
    BITMAPINFOHEADER output = {};
    for (UINT message : {ICM_COMPRESS_GET_FORMAT, ICM_COMPRESS_QUERY, ICM_COMPRESS_BEGIN, ICM_COMPRESS,
                         ICM_DECOMPRESS_QUERY, ICM_DECOMPRESS_BEGIN, ICM_DECOMPRESS})
        EXPECT_EQ(Send(0, message, &input, &output), ICERR_BADFORMAT) << message;
    int32_t quality = 5000;
    EXPECT_EQ(Send(0, ICM_GETQUALITY, &quality), ICERR_UNSUPPORTED);
    EXPECT_EQ(Send(0, ICM_SETQUALITY, &quality), ICERR_UNSUPPORTED);
    EXPECT_EQ(quality, 5000);
    EXPECT_EQ(Send(0, ICM_COMPRESS_END), ICERR_OK);
    EXPECT_EQ(Send(0, ICM_DECOMPRESS_END), ICERR_OK);
}

// A processor that reports SSE2 under an operating system that has not
// enabled the SSE state: the probe instruction faults.
bool CpuidExecutes()
{
    return true;
}

CpuidResult PentiumFourWithoutSseState(uint32_t leaf)
{
    switch (leaf) {
    case 0:
        return {1, 0x756E6547, 0x6C65746E, 0x49656E69};  // "GenuineIntel"
    case 1:
        return {0xF00, 0, 0, (1u << 23) | (1u << 25) | (1u << 26)};
    default:
        return {};
    }
}

bool OnlyMmxExecutes(uint32_t feature)
{
    return feature == CPU_FEATURE_MMX;
}

TEST(DriverMessages, LoadIsRefusedWithoutUsableSse2)
{
    const ProcessorProbes noSseState = {CpuidExecutes, PentiumFourWithoutSseState, OnlyMmxExecutes};
    TraceCapture trace;
    const int messageBoxes = PlatformCalls().messageBoxCount;
    SetProcessorProbes(&noSseState);
    const LRESULT result = Send(0, DRV_LOAD);
    SetProcessorProbes(nullptr);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(PlatformCalls().messageBoxCount, messageBoxes + 1);
    EXPECT_STREQ(PlatformCalls().messageBoxText, "This codec Requires SSE2.");
    EXPECT_STREQ(PlatformCalls().messageBoxCaption, "Error");
    EXPECT_EQ(PlatformCalls().messageBoxStyle, 0x10u);
    EXPECT_TRUE(trace.lines().empty());
}

}  // namespace
