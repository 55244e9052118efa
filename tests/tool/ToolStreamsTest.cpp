// SPDX-License-Identifier: BSD-2-Clause
// Whole files through the qf25 command: sound, further streams and tags kept
// through encode and decode, in step with the pictures; what an output
// cannot hold converted or named; damaged sound reported.
#include "ToolTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <map>
#include <sstream>
#include <thread>

namespace {

constexpr double FRAME_SECONDS = 0.04;  // the clips' 25 frames/s
const std::string TITLE = "Clip with sound";

// What ffprobe says of a file in one of its plain forms.
std::string Probe(const std::string& path, const std::vector<std::string>& arguments)
{
    const ProgramResult probe =
        RunProgram(Join(Join({QF25_FFPROBE, "-v", "error"}, arguments), {"-of", "csv=p=0", path}));
    EXPECT_EQ(probe.exitCode, 0) << path << ": " << probe.err;
    return probe.out;
}

std::string Ffmpeg(const std::vector<std::string>& arguments)
{
    const ProgramResult run = RunProgram(Join({QF25_FFMPEG, "-v", "error", "-y"}, arguments));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return run.out;
}

// Sound stream `index`, decoded by FFmpeg, as raw samples of `format`.
std::string Samples(const std::string& path, int index, const std::string& format)
{
    return Ffmpeg({"-i", path, "-map", "0:a:" + std::to_string(index), "-f", format, "-"});
}

// The first timestamp of each stream, by index.
std::map<int, double> FirstTimes(const std::string& path)
{
    std::map<int, double> times;
    std::istringstream lines(Probe(path, {"-show_entries", "packet=stream_index,pts_time"}));
    int index = 0;
    char comma = 0;
    double time = 0;
    while (lines >> index >> comma >> time)
        times.emplace(index, time);
    return times;
}

// Made once: 0.4 s of testsrc2 with 24-bit stereo and 16-bit mono sound at
// 48 kHz, a title, a recording time, a timecode and a stream title; and the
// QF25 AVI that `qf25 encode` makes of it.
class ToolStreams : public ::testing::Test {
protected:
    static TempDir* shared;
    static std::string clip;
    static std::string avi;
    TempDir dir;

    static void SetUpTestSuite()
    {
        shared = new TempDir;
        clip = shared->Path("clip.mkv");
        avi = shared->Path("clip.avi");
        MakeClip(clip, {});
        const ProgramResult encoded = RunQf25({"encode", "-q", clip, avi});
        EXPECT_EQ(encoded.exitCode, 0) << encoded.err;
    }
    static void TearDownTestSuite() { delete shared; }

    // `offsets`: -itsoffset for the pictures and the sound, if any.
    static void MakeClip(const std::string& path, const std::vector<std::string>& offsets)
    {
        std::vector<std::string> pictures = {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25"};
        std::vector<std::string> sound = {"-f", "lavfi", "-i", "sine=f=440:r=48000", "-f", "lavfi", "-i",
                                          "sine=f=660:r=48000"};
        if (!offsets.empty()) {
            pictures.insert(pictures.begin(), {"-itsoffset", offsets[0]});
            sound.insert(sound.begin(), {"-itsoffset", offsets[1]});
            sound.insert(sound.begin() + 6, {"-itsoffset", offsets[1]});
        }
        Ffmpeg(Join(Join(pictures, sound),
                    {"-filter_complex", "[1][2]amerge=inputs=2[stereo]", "-map", "0", "-map", "[stereo]", "-map", "2",
                     "-t", "0.4", "-c:v", "rawvideo", "-pix_fmt", "uyvy422", "-c:a:0", "pcm_s24le", "-c:a:1",
                     "pcm_s16le", "-metadata", "title=" + TITLE, "-metadata", "creation_time=2021-03-04T05:06:07Z",
                     "-timecode", "01:02:03:04", "-metadata:s:a:0", "language=eng", "-metadata:s:a:1", "title=Mono",
                     path}));
    }
};

TempDir* ToolStreams::shared = nullptr;
std::string ToolStreams::clip;
std::string ToolStreams::avi;

TEST_F(ToolStreams, EncodeAndDecodeKeepTheSoundTheTagsAndTheirTiming)
{
    const std::string outputs[] = {avi, dir.Path("back.avi"), dir.Path("back.mkv"), dir.Path("back.mov")};
    const std::vector<std::string> decodes[] = {{}, {}, {"-c", "ffv1"}, {"-c", "prores_ks"}};
    const std::map<int, double> inputTimes = FirstTimes(clip);
    const std::string sound[] = {Samples(clip, 0, "s24le"), Samples(clip, 1, "s16le")};
    for (size_t i = 0; i < std::size(outputs); ++i) {
        const std::string& out = outputs[i];
        if (i > 0) {
            const ProgramResult decoded = RunQf25(Join({"decode", avi, out}, decodes[i]));
            ASSERT_EQ(decoded.exitCode, 0) << decoded.err;
            EXPECT_NE(decoded.err.find(": 10 frames, 2 more streams, "), std::string::npos) << decoded.err;
        }
        const std::string codecs = Probe(out, {"-show_entries", "stream=codec_type,codec_name,channels"});
        EXPECT_NE(codecs.find("pcm_s24le,audio,2\npcm_s16le,audio,1\n"), std::string::npos) << out << ": " << codecs;
        EXPECT_TRUE(Samples(out, 0, "s24le") == sound[0]) << out;
        EXPECT_TRUE(Samples(out, 1, "s16le") == sound[1]) << out;
        const std::map<int, double> times = FirstTimes(out);
        for (int stream : {1, 2})
            EXPECT_NEAR(times.at(stream) - times.at(0), inputTimes.at(stream) - inputTimes.at(0), FRAME_SECONDS)
                << out << " stream " << stream;
        // FFmpeg's AVI writer keeps no recording time; that is named below.
        const std::string tags = Probe(out, {"-show_entries", "format_tags:stream_tags"});
        for (const char* tag : {"Clip with sound", "01:02:03:04", i == 1 ? "Mono" : "2021-03-04"})
            EXPECT_NE(tags.find(tag), std::string::npos) << out << " lost " << tag << ": " << tags;
    }
    // What AVI and MOV cannot hold is named.
    const ProgramResult encoded = RunQf25({"encode", "-q", clip, dir.Path("again.avi")});
    EXPECT_EQ(encoded.err,
              "qf25: " + clip + ": tags the output does not hold are left out: language (eng) of stream 1\n");
    const ProgramResult ffmpegAvi = RunQf25({"decode", "-q", avi, dir.Path("again-ffmpeg.avi")});
    EXPECT_EQ(ffmpegAvi.err, "qf25: " + avi + ": tags the output does not hold are left out: creation_time "
                                              "(2021-03-04 05:06:07)\n");
    const ProgramResult mov = RunQf25({"decode", "-q", avi, dir.Path("again.mov"), "-c", "prores_ks"});
    EXPECT_EQ(mov.err, "qf25: " + avi + ": tags the output does not hold are left out: title (Mono) of stream 2\n");

    const ProgramResult info = RunQf25({"info", avi});
    EXPECT_NE(info.out.find("audio       stream 1: pcm_s24le, 48000 Hz, stereo, s32 (24 bit), 0.400 s\n"
                            "audio       stream 2: pcm_s16le, 48000 Hz, 1 channels, s16 (16 bit), 0.400 s, \"Mono\"\n"),
              std::string::npos)
        << info.out;
}

// Sound that starts before the first picture brings black pictures in
// front; sound that starts after it, silence. Cuts and left-out frames keep
// the sound where it was.
TEST_F(ToolStreams, SoundStaysInStepAcrossOffsetsCutsAndLeftOutFrames)
{
    const std::string early = dir.Path("early.mkv");
    MakeClip(early, {"0.2", "0"});
    const ProgramResult lead = RunQf25({"encode", early, dir.Path("early.avi")});
    ASSERT_EQ(lead.exitCode, 0) << lead.err;
    EXPECT_NE(lead.err.find("the sound starts 0.200 s before the first picture; 5 black frames lead in"),
              std::string::npos)
        << lead.err;
    EXPECT_EQ(ProbeStream(dir.Path("early.avi"), "nb_read_packets"), "10") << "5 black, 5 of the clip";
    EXPECT_TRUE(Samples(dir.Path("early.avi"), 1, "s16le") == Samples(early, 1, "s16le"));

    const std::string late = dir.Path("late.mkv");
    MakeClip(late, {"0", "0.12"});
    ASSERT_EQ(RunQf25({"encode", "-q", late, dir.Path("late.avi")}).exitCode, 0);
    const std::string delayed = Samples(dir.Path("late.avi"), 1, "s16le");
    const size_t silence = size_t(0.12 * 48000) * 2;
    ASSERT_GT(delayed.size(), silence);
    EXPECT_EQ(delayed.substr(0, silence), std::string(silence, '\0'));
    EXPECT_TRUE(delayed.substr(silence) == Samples(late, 1, "s16le"));

    // Pictures timed in milliseconds that state no rate are read ahead to
    // measure one: the sound read meanwhile is kept.
    const std::string rateless = dir.Path("rateless.flv");
    Ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=0.8", "-f", "lavfi", "-i",
            "sine=r=44100:d=0.8", "-vf", "settb=1/1000,setpts='N*40+mod(N*N*13,29)'", "-enc_time_base", "1/1000",
            "-c:v", "flv1", "-c:a", "pcm_s16le", "-flvflags", "no_metadata", rateless});
    ASSERT_EQ(RunQf25({"encode", "-q", rateless, dir.Path("rateless.avi")}).exitCode, 0);
    EXPECT_TRUE(Samples(dir.Path("rateless.avi"), 0, "s16le") == Samples(rateless, 0, "s16le"));

    ASSERT_EQ(RunQf25({"encode", "-q", "--frames", "4", clip, dir.Path("four.avi")}).exitCode, 0);
    const size_t samples = Samples(dir.Path("four.avi"), 1, "s16le").size() / 2;
    EXPECT_GE(samples, 4 * 1920u);
    EXPECT_LE(samples, 4 * 1920u + 1024) << "cut with the pictures, to the packet";

    // Frame 3 left out: the pictures after it keep their times, and the sound all of it.
    std::string bytes = ReadFile(avi);
    size_t at = bytes.find("movi");
    for (int frame = 0; frame <= 3; ++frame)
        at = bytes.find("00dc", at + 4);
    bytes[at + 12] = bytes[at + 13] = bytes[at + 14] = char(0xFF);
    const std::string damaged = dir.Path("damaged.avi");
    WriteFile(damaged, bytes);
    const std::string mkv = dir.Path("skipped.mkv");
    EXPECT_EQ(RunQf25({"decode", "-q", "--skip-damaged", damaged, mkv}).exitCode, 3);
    EXPECT_EQ(Probe(mkv, {"-select_streams", "v", "-show_entries", "packet=pts_time"}).substr(0, 36),
              "0.000000\n0.040000\n0.080000\n0.160000\n");
    EXPECT_TRUE(Samples(mkv, 0, "s24le") == Samples(clip, 0, "s24le"));
}

TEST_F(ToolStreams, WhatAnOutputCannotHoldIsConvertedOrNamed)
{
    const std::string many = dir.Path("many.mkv");
    WriteFile(dir.Path("words.srt"), "1\n00:00:00,000 --> 00:00:00,300\nHello\n");
    Ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25", "-f", "lavfi", "-i", "sine=r=44100", "-i",
            dir.Path("words.srt"), "-map", "0", "-map", "1", "-map", "2", "-t", "0.4", "-c:v", "rawvideo", "-c:a",
            "mp2", "-c:s", "srt", many});
    const ProgramResult toAvi = RunQf25({"encode", "-q", many, dir.Path("many.avi")});
    EXPECT_EQ(toAvi.exitCode, 0);
    EXPECT_EQ(toAvi.err, "qf25: " + many + ": stream 1 (mp2 audio) is converted to pcm_s16le: AVI holds "
                                           "little-endian PCM sound only\n"
                         "qf25: " + many + ": stream 2 (subrip subtitles) is left out: AVI holds the coded video and "
                                           "PCM sound only\n");
    EXPECT_EQ(Probe(dir.Path("many.avi"), {"-show_entries", "stream=codec_name"}), "unknown\npcm_s16le\n");
    const ProgramResult toMkv = RunQf25({"encode", "-q", many, dir.Path("many.mkv.mkv")});
    EXPECT_EQ(toMkv.err, "");
    EXPECT_EQ(Probe(dir.Path("many.mkv.mkv"), {"-show_entries", "stream=codec_name"}), "unknown\nmp2\nsubrip\n");

    const ProgramResult y4m = RunQf25({"decode", "-q", avi, dir.Path("pictures.y4m")});
    EXPECT_EQ(y4m.err, "qf25: " + dir.Path("pictures.y4m") + ": the yuv4mpegpipe output holds pictures only; left "
                                                              "out: stream 1 (pcm_s24le audio), stream 2 (pcm_s16le "
                                                              "audio), the tags\n");
    for (const char* option : {"-an", "--no-streams"}) {
        const ProgramResult quiet = RunQf25({"decode", "-q", option, avi, dir.Path("silent.mkv")});
        EXPECT_EQ(quiet.err, "") << option;
        EXPECT_EQ(Probe(dir.Path("silent.mkv"), {"-show_entries", "stream=codec_type"}), "video\n") << option;
    }
    ASSERT_EQ(RunQf25({"decode", "-q", "-c:a", "flac", avi, dir.Path("flac.mkv")}).exitCode, 0);
    EXPECT_EQ(Probe(dir.Path("flac.mkv"), {"-show_entries", "stream=codec_name"}), "ffv1\nflac\nflac\n");
    EXPECT_TRUE(Samples(dir.Path("flac.mkv"), 0, "s24le") == Samples(clip, 0, "s24le"));
    const ProgramResult refused = RunQf25({"encode", "-q", "-c:a", "aac", clip, dir.Path("aac.avi")});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_EQ(refused.err, "qf25: --audio-codec: AVI does not hold aac (it holds little-endian PCM sound only)\n");
}

// A capture that stays open, its sound running a second past its pictures:
// Ctrl-C ends the file complete, the sound cut with the last picture.
TEST_F(ToolStreams, InterruptedEncodeEndsWithThePicturesAndTheirSound)
{
    std::signal(SIGPIPE, SIG_IGN);
    const std::string nut = dir.Path("capture.nut");
    Ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=2", "-f", "lavfi", "-i",
            "sine=r=48000:duration=3", "-c:v", "rawvideo", "-pix_fmt", "uyvy422", "-c:a", "pcm_s16le", nut});
    const std::string out = dir.Path("live.avi");
    RunningProgram program = StartQf25({"encode", "-", out}, dir);
    ASSERT_TRUE(WriteToProgram(program, ReadFile(nut)));
    // Until the file stops growing: every picture is in.
    for (off_t size = -1, last = -2; size != last;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        last = size;
        const std::vector<std::string> names = ListDirectory(dir.path);
        for (const std::string& name : names)
            size = name.find(".part") != std::string::npos ? off_t(ReadFile(dir.Path(name)).size()) : size;
    }
    kill(program.pid, SIGINT);
    const ProgramResult result = WaitForProgram(program);
    EXPECT_EQ(result.exitCode, 130) << result.err;
    EXPECT_NE(result.err.find("holds the first 50 frames"), std::string::npos) << result.err;
    const size_t samples = Samples(out, 0, "s16le").size() / 2;
    EXPECT_GE(samples, 50 * 1920u);
    EXPECT_LE(samples, 50 * 1920u + 1024) << "cut with the pictures, to the packet";
}

// Cut inside the sound after frame 5: the pictures before the cut are
// converted, the damage and the cut are named and the command ends with
// status 3.
TEST_F(ToolStreams, DamagedOrCutSoundIsReportedAndThePicturesKept)
{
    const std::string bytes = ReadFile(avi);
    size_t at = bytes.find("movi");
    for (int chunk = 0; chunk <= 5; ++chunk)
        at = bytes.find("01wb", at + 4);
    const std::string cut = dir.Path("cut.avi");
    WriteFile(cut, bytes.substr(0, at + 8 + 1001));
    const ProgramResult decoded = RunQf25({"decode", "-q", cut, dir.Path("cut.mkv")});
    EXPECT_EQ(decoded.exitCode, 3);
    EXPECT_EQ(decoded.err, "qf25: " + cut + ": stream 1 (pcm_s24le audio) is damaged at 0.200 s (the file marks its "
                                            "data as damaged)\n"
                           "qf25: " + cut + ": the file ends after 5 of the 10 frames its header announces; it was "
                                            "cut short\n"
                           "qf25: " + cut + ": stream 1 (pcm_s24le audio) is cut short: it ends after 0.203 s of the "
                                            "0.400 s the file declares\n"
                           "qf25: " + cut + ": stream 2 (pcm_s16le audio) is cut short: it ends after 0.200 s of the "
                                            "0.400 s the file declares\n"
                           "qf25: " + cut + ": damaged streams: 1, 2\n");
    EXPECT_EQ(ProbeStream(dir.Path("cut.mkv"), "nb_read_packets"), "5");
}

}  // namespace
