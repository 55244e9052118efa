// SPDX-License-Identifier: BSD-2-Clause
// What the command keeps of each picture besides its samples, seen as users
// see it: against FFmpeg's own field-aware conversions, through ffprobe, and
// in the decoded bytes; and how it tells what it cannot keep.
#include "AviOutput.h"
#include "FrameLayout.h"

#include "ToolTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

using PictureTruth = PhotoClipTest;

void Ffmpeg(const std::vector<std::string>& arguments)
{
    const ProgramResult made = RunProgram(Join({QF25_FFMPEG, "-v", "error", "-y"}, arguments));
    ASSERT_EQ(made.exitCode, 0) << made.err;
}

ProgramResult Qf25(const std::vector<std::string>& arguments, int exitCode = 0)
{
    const ProgramResult result = RunQf25(arguments);
    EXPECT_EQ(result.exitCode, exitCode) << result.err;
    return result;
}

// Chroma PSNR of planar 4:2:2 frames of `lumaBytes` luma samples each.
double ChromaPsnr(const std::string& a, const std::string& b, size_t lumaBytes)
{
    EXPECT_EQ(a.size(), b.size());
    double squared = 0;
    size_t samples = 0;
    for (size_t frame = 0; frame + 2 * lumaBytes <= std::min(a.size(), b.size()); frame += 2 * lumaBytes) {
        for (size_t i = frame + lumaBytes; i < frame + 2 * lumaBytes; ++i) {
            const double difference = double(uint8_t(a[i])) - double(uint8_t(b[i]));
            squared += difference * difference;
        }
        samples += lumaBytes;
    }
    return squared == 0 ? INFINITY : 10 * std::log10(255.0 * 255 * double(samples) / squared);
}

// Whether each chroma line of planar pictures repeats the line two above it,
// of its own field, and the two fields differ: flat fields stayed apart.
bool FieldsKeepTheirChroma(const std::string& planar, size_t width, size_t chromaLines, size_t lumaLines)
{
    const size_t chromaWidth = width / 2;
    const size_t frameBytes = width * lumaLines + 2 * chromaWidth * chromaLines;
    for (size_t frame = 0; frame < planar.size(); frame += frameBytes) {
        for (size_t plane = 0; plane < 2; ++plane) {
            const size_t at = frame + width * lumaLines + plane * chromaWidth * chromaLines;
            if (planar.compare(at, chromaWidth, planar, at + chromaWidth, chromaWidth) == 0)
                return false;
            for (size_t line = 2; line < chromaLines; ++line) {
                if (planar.compare(at + line * chromaWidth, chromaWidth, planar, at + (line - 2) * chromaWidth,
                                   chromaWidth) != 0)
                    return false;
            }
        }
    }
    return true;
}

std::string Probe(const std::string& path, const std::string& entries)
{
    return RunProgram({QF25_FFPROBE, "-v", "error", "-select_streams", "v:0", "-show_entries", "stream=" + entries,
                       "-of", "csv=p=0", path})
        .out;
}

const char* const RED_AND_BLUE_LINES = "format=rgb24,geq=r='255*(1-mod(Y,2))':g=0:b='255*mod(Y,2)'";

TEST_F(PictureTruth, InterlacedChromaStaysInItsField)
{
    // Even lines red, odd lines blue, made 4:2:0 field by field as FFmpeg does.
    const std::string lines = dir.Path("lines.y4m");
    Ffmpeg({"-f", "lavfi", "-i", "color=black:s=720x480:r=25", "-frames:v", "2", "-vf",
            std::string(RED_AND_BLUE_LINES) + ",scale=interl=1,format=yuv420p,setfield=tff", lines});
    const std::string coded = dir.Path("lines.avi");
    Qf25({"encode", "-q", lines, coded});
    const std::string decoded = dir.Path("decoded422.yuv");
    Qf25({"decode", "-q", "--pix-fmt", "yuv422p", coded, decoded});
    const std::string expected = dir.Path("expected422.yuv");
    const std::string accurate = "scale=interl=1:flags=bicubic+accurate_rnd";
    Ffmpeg({"-i", lines, "-vf", accurate + ",format=yuv422p", "-f", "rawvideo", expected});
    EXPECT_GT(ChromaPsnr(ReadFile(decoded), ReadFile(expected), 720 * 480), 50.0) << "(mixing the fields gave 9)";

    // Back to 4:2:0: what FFmpeg makes of our 4:2:2, byte for byte.
    const std::string decoded420 = dir.Path("decoded420.yuv");
    Qf25({"decode", "-q", "--pix-fmt", "yuv420p", coded, decoded420});
    const std::string expected420 = dir.Path("expected420.yuv");
    Ffmpeg({"-f", "rawvideo", "-pix_fmt", "yuv422p", "-s", "720x480", "-i", decoded, "-vf",
            accurate + ",format=yuv420p", "-f", "rawvideo", expected420});
    EXPECT_TRUE(ReadFile(decoded420) == ReadFile(expected420));

    // At 486 lines the bottom field's last chroma line lies past 4:2:0's
    // 243: both ways still keep the fields apart.
    const std::string lines486 = dir.Path("lines486.y4m");
    Ffmpeg({"-f", "lavfi", "-i", "color=black:s=720x486:r=25", "-frames:v", "2", "-vf",
            std::string(RED_AND_BLUE_LINES) + ",format=yuv422p,setfield=tff", lines486});
    Qf25({"encode", "-q", lines486, coded});
    Qf25({"decode", "-q", "--pix-fmt", "yuv420p", coded, decoded420});
    EXPECT_TRUE(FieldsKeepTheirChroma(ReadFile(decoded420), 720, 243, 486));
    Qf25({"encode", "-q", "--size", "720x486", "--pix-fmt", "yuv420p", "--field-order", "tff", decoded420, coded});
    Qf25({"decode", "-q", "--pix-fmt", "yuv422p", coded, decoded});
    EXPECT_TRUE(FieldsKeepTheirChroma(ReadFile(decoded), 720, 486, 486));
}

TEST_F(PictureTruth, ColourIsKeptTaggedAndConvertedWithItsMatrix)
{
    // HD in BT.709: a cyan bar (0, 189, 190) must come back cyan in RGB.
    const std::string hd = dir.Path("hd.mkv");
    Ffmpeg({"-f", "lavfi", "-i", "color=c=0x808080:s=1280x720,format=rgb24,drawbox=w=640:h=720:c=0x00BDBE:t=fill",
            "-frames:v", "1", "-vf", "scale=out_color_matrix=bt709:out_range=tv,format=yuv422p", "-color_primaries",
            "bt709", "-color_trc", "bt709", "-colorspace", "bt709", "-c:v", "ffv1", hd});
    const std::string coded = dir.Path("hd.avi");
    Qf25({"encode", "-q", hd, coded});
    const std::string rgb = dir.Path("hd.rgb");
    Qf25({"decode", "-q", coded, rgb});
    const std::string pixels = ReadFile(rgb);
    ASSERT_EQ(pixels.size(), 1280u * 720 * 3);
    const size_t at = (360 * 1280 + 320) * 3;
    const int cyan[3] = {0, 189, 190};  // BT.601 gave 15, 208, 186
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(uint8_t(pixels[at + size_t(i)]), cyan[i], 3) << i;
    const std::string tagged = dir.Path("hd-ffv1.mkv");
    Qf25({"decode", "-q", "-c", "ffv1", coded, tagged});
    EXPECT_EQ(Probe(tagged, "color_range,color_space,color_transfer,color_primaries"), "tv,bt709,bt709,bt709\n");

    // Full range said only by the range flag: black, grey and white stripes
    // come back at video levels. Their BT.709 tag is kept at 576 lines, and
    // without our colour chunk the size decides.
    const std::string full = dir.Path("full.mkv");
    Ffmpeg({"-f", "lavfi", "-i",
            "color=black:s=720x576,drawbox=x=240:w=240:h=576:c=0x808080:t=fill,drawbox=x=480:w=240:h=576:c=white:t=fill",
            "-frames:v", "1", "-vf", "scale=out_range=pc,format=yuv422p", "-color_range", "pc", "-colorspace",
            "bt709", "-c:v", "ffv1", full});
    Qf25({"encode", "-q", full, coded});
    const std::string levels = DecodeRaw(coded);
    ASSERT_EQ(levels.size(), 720u * 576 * 2);
    EXPECT_NEAR(uint8_t(levels[2 * 120 + 1]), 16, 1);
    EXPECT_NEAR(uint8_t(levels[2 * 360 + 1]), 126, 1);
    EXPECT_NEAR(uint8_t(levels[2 * 600 + 1]), 235, 1);
    Qf25({"decode", "-q", "-c", "ffv1", coded, tagged});
    EXPECT_EQ(Probe(tagged, "color_space"), "bt709\n");
    std::string untagged = ReadFile(coded);
    untagged.replace(untagged.find("colr"), 4, "JUNK");
    WriteFile(coded, untagged);
    Qf25({"decode", "-q", "-c", "ffv1", coded, tagged});
    EXPECT_EQ(Probe(tagged, "color_space"), "smpte170m\n");
}

TEST_F(PictureTruth, FieldOrderIsRecordedReadAndFlagged)
{
    struct Case {
        const char* field;      // as setfield or --field-order has it
        const char* info;       // what qf25 info says
        const char* y4m;        // the interlacing flag of decoded Y4M
        const char* container;  // a decoded MKV's field order, through ffprobe
    };
    const Case cases[] = {
        {"bff", "bottom field first", " Ib ", "bb"},
        {"prog", "progressive", " Ip ", "progressive"},
    };
    const std::string coded = dir.Path("coded.avi");
    for (const Case& c : cases) {
        const std::string source = dir.Path(std::string(c.field) + ".y4m");
        Ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=320x240", "-frames:v", "2", "-vf",
                std::string("setfield=") + c.field + ",format=yuv422p", source});
        for (const char* name : {"coded.avi", "coded.mkv"}) {
            Qf25({"encode", "-q", source, dir.Path(name)});
            const ProgramResult info = Qf25({"info", dir.Path(name)});
            EXPECT_NE(info.out.find(std::string("pictures    ") + c.info + "; colour "), std::string::npos)
                << info.out;
            const ProgramResult y4m = Qf25({"decode", "-q", dir.Path(name), "-"});
            EXPECT_NE(y4m.out.substr(0, y4m.out.find('\n')).find(c.y4m), std::string::npos) << name;
        }
        const std::string ffv1 = dir.Path("ffv1.mkv");
        Qf25({"decode", "-q", "-c", "ffv1", coded, ffv1});
        EXPECT_EQ(Probe(ffv1, "field_order"), std::string(c.container) + "\n");
    }
    // Raw video says nothing; the command line does.
    Qf25(Join({"encode", "-q", clip, coded, "--field-order", "bff"}, RAW_CLIP));
    EXPECT_NE(Qf25({"info", coded}).out.find("pictures    bottom field first"), std::string::npos);
}

TEST_F(PictureTruth, GappyInputKeepsItsLength)
{
    const std::string gappy = dir.Path("gappy.mkv");
    Ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=320x240:r=25:d=3", "-vf", "select='mod(n\\,5)'", "-vsync", "passthrough",
            "-c:v", "ffv1", gappy});
    const std::string coded = dir.Path("gappy.avi");
    const ProgramResult encoded = Qf25({"encode", "-q", gappy, coded});
    EXPECT_EQ(encoded.err,
              "qf25: " + gappy + ": its frames are not evenly timed: 14 repeated and 0 dropped to keep 25/1 frames/s\n");
    EXPECT_EQ(ProbeStream(coded, "nb_frames"), "74");  // as ffmpeg's constant-rate output: 2.96 s
    Qf25({"encode", "-q", gappy, coded, "--rate", "25"});
    EXPECT_EQ(ProbeStream(coded, "nb_frames"), "60");
}

TEST_F(PictureTruth, OddHeightsAreToldAndFilledAndOneLineIsRefused)
{
    const std::string tall = ReadFile(clip);
    std::string odd;
    for (int frame = 0; frame < 2; ++frame)
        odd += tall.substr(size_t(frame) * FRAME_BYTES, WIDTH * 2 * 485);
    const std::string raw = dir.Path("odd.uyvy");
    WriteFile(raw, odd);
    const std::string coded = dir.Path("odd.avi");
    const ProgramResult encoded = Qf25({"encode", "-q", raw, coded, "--size", "720x485", "--pix-fmt", "uyvy422"});
    EXPECT_NE(encoded.err.find(": the last line of an odd height is not kept (485 lines"), std::string::npos);
    const std::string decoded = DecodeRaw(coded);
    ASSERT_EQ(decoded.size(), odd.size());
    const size_t line = WIDTH * 2;
    for (size_t frame = 0; frame < 2; ++frame) {
        const size_t last = frame * 485 * line + 484 * line;
        EXPECT_EQ(decoded.compare(last, line, decoded, last - 2 * line, line), 0) << "frame " << frame;
    }

    WriteFile(raw, std::string(32, char(0x80)));
    const ProgramResult single = Qf25({"encode", "-q", raw, coded, "--size", "16x1", "--pix-fmt", "uyvy422"}, 1);
    EXPECT_EQ(single.err, "qf25: " + raw +
                              ": a picture of one line cannot be coded: the codec codes the lines of its two fields "
                              "in pairs\n");
}

// One byte of slack at the end of a slice changes no pixel, but the slice
// does not end where its length says: every way of decoding reports it.
TEST_F(PictureTruth, ASliceLongerThanItsBlocksIsDamage)
{
    const std::string bytes = ReadFile(avi);
    std::vector<std::string> frames;
    for (size_t at = bytes.find("00dc", bytes.find("movi")); frames.size() < 2; at = bytes.find("00dc", at + 8)) {
        uint32_t size = 0;
        std::memcpy(&size, bytes.data() + at + 4, 4);
        frames.push_back(bytes.substr(at + 8, size));
    }
    std::string& slack = frames[1];
    const FrameLayout layout = ParseFrameLayout(reinterpret_cast<const uint8_t*>(slack.data()), slack.size());
    const uint32_t length = layout.fields[1].sliceBytes[3] + 1;
    const size_t last = slack.size() - length + 1;
    for (int i = 0; i < 3; ++i)
        slack[last + size_t(i)] = char(length >> (8 * i));
    slack.push_back(0);

    AviStreamInfo stream;
    stream.width = WIDTH;
    stream.height = HEIGHT;
    stream.format = CompressedHeader(PIXEL_LAYOUTS[0], WIDTH, HEIGHT);
    const std::string damaged = dir.Path("slack.avi");
    AviWriter writer;
    OpenAvi(writer, damaged, stream);
    for (const std::string& frame : frames)
        WriteAviFrame(writer, reinterpret_cast<const uint8_t*>(frame.data()), uint32_t(frame.size()));
    CloseAvi(writer);

    const ProgramResult verified = Qf25({"info", "--verify", damaged}, 3);
    EXPECT_NE(verified.out.find("       1    -"), std::string::npos) << verified.out;
    const ProgramResult decoded = Qf25({"decode", "-q", damaged, dir.Path("out.yuv")}, 3);
    EXPECT_NE(decoded.err.find("frame 1 is damaged (its coded blocks are damaged); replaced by frame 0"),
              std::string::npos)
        << decoded.err;
}

TEST_F(PictureTruth, AClosedPipeStopsTheCommandLikeAnInterrupt)
{
    const ProgramResult piped =
        RunProgram({"/bin/bash", "-c", std::string("'") + QF25_COMMAND + "' decode -q '" + avi +
                                      "' - | head -c 100000 >/dev/null; exit ${PIPESTATUS[0]}"});
    EXPECT_EQ(piped.exitCode, 130);
    EXPECT_NE(piped.err.find("qf25: -: its reader went away after "), std::string::npos) << piped.err;
}

TEST_F(PictureTruth, WhatIsReducedOrCutIsTold)
{
    for (const auto& [format, message] : {std::pair{"yuv422p10le", "its 10-bit samples are rounded to 8 bits"},
                                          std::pair{"yuva420p", "its alpha channel is left out"}}) {
        const std::string source = dir.Path(std::string(format) + ".mkv");
        Ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=64x48", "-frames:v", "1", "-pix_fmt", format, "-c:v", "ffv1", source});
        EXPECT_EQ(Qf25({"encode", "-q", source, dir.Path("reduced.avi")}).err,
                  "qf25: " + source + ": " + message + "\n");
    }
    const std::string narrow = dir.Path("narrow.uyvy");
    WriteFile(narrow, std::string(8 * 16 * 2, char(0x80)));
    EXPECT_EQ(Qf25({"encode", narrow, dir.Path("n.avi"), "--size", "8x16", "--pix-fmt", "uyvy422"}, 1).err,
              "qf25: " + narrow + ": the width 8 is not a multiple of 16; add --pad (to 16)\n");

    // MOV takes no FFV1: uncompressed 4:2:2; .rgb means RGB.
    const std::string mov = dir.Path("out.mov");
    Qf25({"decode", "-q", avi, mov});
    EXPECT_EQ(ProbeStream(mov, "codec_tag_string"), "2vuy");
    const std::string rgb = dir.Path("out.rgb");
    Qf25({"decode", "-q", avi, rgb});
    EXPECT_EQ(ReadFile(rgb).size(), size_t(FRAMES) * WIDTH * HEIGHT * 3);

    // A Matroska file cut in the middle: the frames before the cut, and a word.
    const std::string mkv = dir.Path("clip.mkv");
    Encode(mkv);
    const std::string cut = dir.Path("cut.mkv");
    WriteFile(cut, ReadFile(mkv).substr(0, ReadFile(mkv).size() / 2));
    const ProgramResult decoded = Qf25({"decode", "-q", cut, dir.Path("cut.yuv")}, 3);
    EXPECT_NE(decoded.err.find(" frames its header announces; it was cut short\n"), std::string::npos) << decoded.err;
}

}  // namespace
