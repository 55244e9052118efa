// SPDX-License-Identifier: BSD-2-Clause
// End-to-end tests of the qf25 command on real photographs: what users and
// other programs see of its files, messages and exit codes.
#include "ToolTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstring>
#include <thread>

namespace {

// Measured once at quality 95; the codec is bit-exact, so a change is a
// regression (the slack covers FFmpeg builds that scale the clip differently).
constexpr double EXPECTED_LUMA_PSNR = 42.953;
constexpr double EXPECTED_CHROMA_PSNR = 43.937;

using ToolCommand = PhotoClipTest;

// Offset of frame `index`'s data in an AVI: the n-th "00dc" chunk.
size_t FrameOffset(const std::string& bytes, int index)
{
    size_t at = bytes.find("movi");
    for (int i = 0; i <= index; ++i)
        at = bytes.find("00dc", at + 4);
    return at + 8;
}

TEST_F(ToolCommand, EveryCommandHasHelpAndBadCommandLinesExitWith2)
{
    for (const char* command : {"encode", "decode", "info", "bench", "demo"}) {
        const ProgramResult help = RunQf25({command, "--help"});
        EXPECT_EQ(help.exitCode, 0);
        EXPECT_EQ(help.out.rfind(std::string("usage: qf25 ") + command, 0), 0u) << help.out;
    }
    EXPECT_EQ(RunQf25({"--help"}).exitCode, 0);
    // The manual page in the tree reads as it is, without a build.
    const std::string picture = QF25_DEMO_PICTURE;
    const std::string page = ReadFile(picture.substr(0, picture.rfind('/')) + "/../qf25.1");
    EXPECT_NE(page.find(".TH QF25 1"), std::string::npos);
    EXPECT_EQ(page.find('@'), std::string::npos);
    const ProgramResult unknown = RunQf25({"transcode"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_EQ(unknown.err, "qf25: unknown command 'transcode'; try 'qf25 --help'\n");
}

TEST_F(ToolCommand, FfprobeReadsTheAviItWrites)
{
    EXPECT_EQ(ProbeStream(avi, "codec_tag_string"), "QF25");
    EXPECT_EQ(ProbeStream(avi, "nb_read_packets"), "8");
    EXPECT_EQ(ProbeStream(avi, "nb_frames"), "8");
    EXPECT_EQ(ProbeStream(avi, "width"), "720");
    EXPECT_EQ(ProbeStream(avi, "height"), "486");
    EXPECT_EQ(ProbeStream(avi, "r_frame_rate"), "25/1");

    // The stream format is the compressor's: biBitCount of the coded layout,
    // six bytes per pixel as the largest frame.
    const std::string rgb = dir.Path("rgb.avi");
    Encode(rgb, {"--pix", "bgr24"});
    for (const auto& [path, bitCount] : {std::pair{avi, 16}, std::pair{rgb, 24}}) {
        const std::string bytes = ReadFile(path);
        const size_t format = bytes.find("strf") + 8;
        uint16_t bits = 0;
        uint32_t sizeImage = 0;
        std::memcpy(&bits, bytes.data() + format + 14, 2);
        std::memcpy(&sizeImage, bytes.data() + format + 20, 4);
        EXPECT_EQ(bits, bitCount) << path;
        EXPECT_EQ(bytes.substr(format + 16, 4), "QF25");
        EXPECT_EQ(sizeImage, uint32_t(WIDTH * HEIGHT * 6));
    }
}

TEST_F(ToolCommand, RoundTripOfPhotographsGivesTheExpectedQuality)
{
    const std::string original = ReadFile(clip);
    const std::string decoded = DecodeRaw(avi);
    ASSERT_EQ(decoded.size(), original.size());
    double squared[2] = {};
    for (size_t i = 0; i < original.size(); ++i) {
        const double difference = double(uint8_t(original[i])) - double(uint8_t(decoded[i]));
        squared[i % 2] += difference * difference;  // chroma on even bytes, luma on odd
    }
    const double samples = double(original.size()) / 2;
    const double chromaPsnr = 10 * std::log10(255.0 * 255.0 * samples / squared[0]);
    const double lumaPsnr = 10 * std::log10(255.0 * 255.0 * samples / squared[1]);
    EXPECT_NEAR(lumaPsnr, EXPECTED_LUMA_PSNR, 0.02);
    EXPECT_NEAR(chromaPsnr, EXPECTED_CHROMA_PSNR, 0.02);

    const std::string low = dir.Path("low.avi");
    Encode(low, {"--quality", "50"});
    EXPECT_LT(ReadFile(low).size(), ReadFile(avi).size() / 2) << "quality 50 should code far smaller";
}

TEST_F(ToolCommand, ThreadCountDoesNotChangeAByte)
{
    const std::string one = dir.Path("one.avi");
    const std::string three = dir.Path("three.avi");
    Encode(one, {"--threads", "1"});
    Encode(three, {"--threads", "3"});
    EXPECT_EQ(ReadFile(one), ReadFile(three));
    EXPECT_EQ(ReadFile(one), ReadFile(avi));
    EXPECT_EQ(DecodeRaw(avi, {"-j", "1"}), DecodeRaw(avi, {"-j", "3"}));
}

TEST_F(ToolCommand, DecodesToY4mOnStandardOutputAndToPictures)
{
    const ProgramResult piped = RunQf25({"decode", "-q", avi, "-"});
    ASSERT_EQ(piped.exitCode, 0) << piped.err;
    const std::string header = piped.out.substr(0, piped.out.find('\n'));
    EXPECT_EQ(header.rfind("YUV4MPEG2 W720 H486 F25:1 It", 0), 0u) << header;
    EXPECT_NE(header.find("C422"), std::string::npos) << header;
    EXPECT_EQ(piped.out.size(), header.size() + 1 + FRAMES * (6 + FRAME_BYTES));

    const ProgramResult pictures = RunQf25({"decode", "-q", "--pix", "bgr24", avi, dir.Path("frame%02d.png")});
    ASSERT_EQ(pictures.exitCode, 0) << pictures.err;
    EXPECT_TRUE(FileExists(dir.Path("frame01.png")));
    EXPECT_TRUE(FileExists(dir.Path("frame08.png")));
    EXPECT_EQ(ProbeStream(dir.Path("frame08.png"), "width"), "720");

    const ProgramResult lossless = RunQf25({"decode", "-q", avi, dir.Path("out.mkv"), "--codec", "ffv1"});
    ASSERT_EQ(lossless.exitCode, 0) << lossless.err;
    EXPECT_EQ(ProbeStream(dir.Path("out.mkv"), "codec_name"), "ffv1");
}

TEST_F(ToolCommand, OtherContainersCarryTheSameFrames)
{
    const std::string mkv = dir.Path("clip.mkv");
    Encode(mkv);
    EXPECT_EQ(ProbeStream(mkv, "codec_tag_string"), "QF25");
    EXPECT_EQ(DecodeRaw(mkv), DecodeRaw(avi));
}

TEST_F(ToolCommand, InfoListsEveryFrame)
{
    const ProgramResult info = RunQf25({"info", avi});
    ASSERT_EQ(info.exitCode, 0) << info.err;
    EXPECT_NE(info.out.find("QF25 720x486, coded from uyvy, 25/1 frames/s, 8 frames"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("\n       7   95 "), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("8 frames, "), std::string::npos);

    const std::string low = dir.Path("low.avi");
    Encode(low, {"--quality", "60"});
    const ProgramResult verified = RunQf25({"info", "--verify", low});
    EXPECT_EQ(verified.exitCode, 0) << verified.err;
    EXPECT_NE(verified.out.find("\n       0   60 "), std::string::npos) << verified.out;
    EXPECT_NE(verified.out.find("every frame decoded; 0 damaged"), std::string::npos) << verified.out;
}

TEST_F(ToolCommand, DamagedFramesAreReportedAndReplaced)
{
    std::string bytes = ReadFile(avi);
    const size_t frame3 = FrameOffset(bytes, 3);
    bytes[frame3 + 4] = bytes[frame3 + 5] = bytes[frame3 + 6] = char(0xFF);  // slice 0 of field 0: 16 MB long
    const std::string damaged = dir.Path("damaged.avi");
    WriteFile(damaged, bytes);

    const std::string out = dir.Path("out.yuv");
    const ProgramResult decoded = RunQf25({"decode", "-q", damaged, out});
    EXPECT_EQ(decoded.exitCode, 3);
    EXPECT_NE(decoded.err.find("qf25: " + damaged +
                               ": frame 3 is damaged (slice 0 of field 0 runs "),
              std::string::npos)
        << decoded.err;
    EXPECT_NE(decoded.err.find("past the end of the field); replaced by frame 2\n"), std::string::npos);
    EXPECT_NE(decoded.err.find("qf25: " + damaged + ": damaged frames: 3\n"), std::string::npos);
    const std::string pictures = ReadFile(out);
    ASSERT_EQ(pictures.size(), FRAMES * FRAME_BYTES);
    EXPECT_EQ(pictures.substr(3 * FRAME_BYTES, FRAME_BYTES), pictures.substr(2 * FRAME_BYTES, FRAME_BYTES));
    EXPECT_EQ(pictures.substr(4 * FRAME_BYTES), DecodeRaw(avi).substr(4 * FRAME_BYTES));

    const ProgramResult skipped = RunQf25({"decode", "-q", "--skip-damaged", damaged, out});
    EXPECT_EQ(skipped.exitCode, 3);
    EXPECT_NE(skipped.err.find("; left out\n"), std::string::npos) << skipped.err;
    EXPECT_EQ(ReadFile(out).size(), (FRAMES - 1) * FRAME_BYTES);

    const ProgramResult verified = RunQf25({"info", "--verify", damaged});
    EXPECT_EQ(verified.exitCode, 3);
    EXPECT_NE(verified.out.find("       3    -"), std::string::npos) << verified.out;
    EXPECT_EQ(verified.err, "qf25: " + damaged + ": damaged frames: 3\n");
}

TEST_F(ToolCommand, GarbageInsideSlicesNeverCrashes)
{
    std::string bytes = ReadFile(avi);
    uint32_t seed = 12345;
    for (int frame = 0; frame < FRAMES; ++frame) {
        const size_t start = FrameOffset(bytes, frame) + 40;  // past the frame and slice headers
        for (int i = 0; i < 200; ++i) {
            seed = seed * 1664525 + 1013904223;
            bytes[start + (seed >> 8) % 20000] = char(seed >> 24);
        }
    }
    const std::string garbled = dir.Path("garbled.avi");
    WriteFile(garbled, bytes);
    const ProgramResult decoded = RunQf25({"decode", "-q", garbled, dir.Path("out.yuv")});
    EXPECT_TRUE(decoded.exitCode == 0 || decoded.exitCode == 3) << decoded.exitCode << decoded.err;
    EXPECT_EQ(ReadFile(dir.Path("out.yuv")).size(), FRAMES * FRAME_BYTES);
}

TEST_F(ToolCommand, CutFileKeepsTheFramesBeforeTheCut)
{
    const std::string bytes = ReadFile(avi);
    const std::string cut = dir.Path("cut.avi");
    WriteFile(cut, bytes.substr(0, FrameOffset(bytes, 5) + 1000));
    const std::string out = dir.Path("out.yuv");
    const ProgramResult decoded = RunQf25({"decode", "-q", cut, out});
    EXPECT_EQ(decoded.exitCode, 3) << decoded.err;
    EXPECT_NE(decoded.err.find("frame 5 is damaged ("), std::string::npos) << decoded.err;
    EXPECT_EQ(ReadFile(out).substr(0, 5 * FRAME_BYTES), DecodeRaw(avi).substr(0, 5 * FRAME_BYTES));
}

TEST_F(ToolCommand, BadInputsGetOneLineMessages)
{
    const std::string notes = dir.Path("notes.txt");
    WriteFile(notes, "not a video\n");
    const std::string missing = dir.Path("missing.avi");
    const ProgramResult results[] = {
        RunQf25({"decode", missing, dir.Path("a.y4m")}),
        RunQf25({"info", notes}),
        RunQf25({"decode", QF25_DEMO_PICTURE, dir.Path("b.y4m")}),
        RunQf25({"encode", clip, dir.Path("c.avi"), "--size", "700x486", "--pix-fmt", "uyvy422"}),
    };
    const std::string expected[] = {
        "qf25: " + missing + ": No such file or directory\n",
        "qf25: " + notes + ": Invalid data found when processing input\n",
        std::string("qf25: ") + QF25_DEMO_PICTURE + ": its video is png, not QF25\n",
        "qf25: " + clip + ": the width 700 is not a multiple of 16; add --crop (to 688) or --pad (to 704)\n",
    };
    for (size_t i = 0; i < std::size(results); ++i) {
        EXPECT_EQ(results[i].exitCode, 1) << i;
        EXPECT_EQ(results[i].err, expected[i]) << i;
    }
    for (const auto& [option, width] : {std::pair{"--crop", "688"}, std::pair{"--pad", "704"}}) {
        const std::string out = dir.Path(std::string("fitted") + option + ".avi");
        const ProgramResult fitted =
            RunQf25({"encode", "-q", clip, out, "--size", "700x486", "--pix-fmt", "uyvy422", "--frames", "2", option});
        EXPECT_EQ(fitted.exitCode, 0) << fitted.err;
        EXPECT_EQ(ProbeStream(out, "width"), width);
    }
}

TEST_F(ToolCommand, NeverOverwritesTheInputNorLeavesHalfFiles)
{
    const std::string before = ReadFile(clip);
    const ProgramResult same = RunQf25(Join({"encode", clip, clip}, RAW_CLIP));
    EXPECT_EQ(same.exitCode, 1);
    EXPECT_EQ(same.err, "qf25: " + clip + ": is also the input; choose another output name\n");
    EXPECT_EQ(ReadFile(clip), before);

    // A frame whose size changes mid-stream fails the encode after frames
    // were written: no output and no temporary file may remain.
    WriteFile(dir.Path("a1.png"), ReadFile(QF25_DEMO_PICTURE));
    WriteFile(dir.Path("a2.png"), ReadFile(QF25_DEMO_PICTURE));
    const ProgramResult small = RunProgram({QF25_FFMPEG, "-v", "error", "-f", "lavfi", "-i", "color=red:s=64x48",
                                            "-frames:v", "1", dir.Path("a3.png")});
    ASSERT_EQ(small.exitCode, 0) << small.err;
    const std::vector<std::string> listing = ListDirectory(dir.path);
    const ProgramResult failed = RunQf25({"encode", dir.Path("a%d.png"), dir.Path("never.avi")});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(failed.err,
              "qf25: " + dir.Path("a%d.png") + ": the picture size changes from 720x486 to 64x48 at frame 2\n");
    EXPECT_EQ(ListDirectory(dir.path), listing);
}

// Ctrl-C, TERM and a hang-up (the terminal closed) all end with a whole file.
TEST_F(ToolCommand, InterruptKeepsWhatWasEncodedPlayable)
{
    std::signal(SIGPIPE, SIG_IGN);
    const std::string frames = ReadFile(clip);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        const std::string out = dir.Path("live" + std::to_string(signal) + ".avi");
        RunningProgram program = StartQf25({"encode", "-", out}, dir);
        ASSERT_TRUE(WriteToProgram(program, "YUV4MPEG2 W720 H486 F25:1 It A1:1 C422\n"));
        for (int i = 0; i < 5; ++i)
            ASSERT_TRUE(WriteToProgram(program, "FRAME\n" + frames.substr(0, FRAME_BYTES)));
        // The input stays open, as a camera's would; wait until the frames are in.
        const size_t files = ListDirectory(dir.path).size();
        for (int wait = 0; wait < 100 && ListDirectory(dir.path).size() <= files; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        kill(program.pid, signal);
        const ProgramResult result = WaitForProgram(program);
        EXPECT_EQ(result.exitCode, 130) << signal << result.err;
        EXPECT_NE(result.err.find("qf25: interrupted; " + out + " holds the first 5 frames\n"), std::string::npos)
            << result.err;
        EXPECT_EQ(ProbeStream(out, "nb_read_packets"), "5");
    }
}

TEST_F(ToolCommand, DemoAndBenchRunOnTheirOwn)
{
    const ProgramResult demo = RunQf25({"demo", "-q", "--frames", "4", "--out", dir.path});
    ASSERT_EQ(demo.exitCode, 0) << demo.err;
    EXPECT_NE(demo.out.find("decoded    PSNR Y "), std::string::npos) << demo.out;
    EXPECT_EQ(ProbeStream(dir.Path("qf25-demo.png"), "width"), "3840");
    EXPECT_EQ(ProbeStream(dir.Path("qf25-demo.avi"), "nb_read_packets"), "4");

    const ProgramResult bench = RunQf25(Join({"bench", clip, "--seconds", "1", "--frames", "2", "-j", "1"}, RAW_CLIP));
    ASSERT_EQ(bench.exitCode, 0) << bench.err;
    EXPECT_NE(bench.out.find("encode          1"), std::string::npos) << bench.out;
    EXPECT_NE(bench.out.find("decode          1"), std::string::npos) << bench.out;
}

}  // namespace
