// SPDX-License-Identifier: BSD-2-Clause
// The plugin inside pipelines: AVI files built from the conformance vectors
// decode to the vectors' pictures (also after a seek, and in every raw
// layout), the encoder and the AVI sink write the vectors' frames, and
// damaged, cut and impossible files end with bus messages, never a crash
// or a stall. Runs in the sanitizer builds too, loading the plugin built
// there.
#include "AviHeader.h"
#include "AviOutput.h"
#include "FrameLayout.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;

constexpr int WIDTH = 720;
constexpr int HEIGHT = 486;
const int QUALITIES[] = {50, 75, 95, 99};  // one vector each: frames 0..3 of the test clip

std::string ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

fs::path Vector(const std::string& name)
{
    return fs::path(QF25_TEST_VECTORS) / name;
}

std::string AstronautVector(int quality, const char* kind)
{
    return ReadBytes(Vector("astronaut-720x486.q" + std::to_string(quality) + kind));
}

// The vectors' bottom-up bitmaps with their lines in top-down order.
std::string TopDown(const std::string& bottomUp, size_t lineBytes)
{
    std::string lines;
    for (size_t at = bottomUp.size(); at >= lineBytes; at -= lineBytes)
        lines += bottomUp.substr(at - lineBytes, lineBytes);
    return lines;
}

void WriteAvi(const fs::path& path, const std::vector<std::string>& frames, const PixelLayout& layout,
              int width = WIDTH, int height = HEIGHT, FieldOrder fieldOrder = FieldOrder::TOP_FIRST,
              ColourFacts colour = {})
{
    AviStreamInfo stream;
    stream.width = width;
    stream.height = height;
    stream.format = CompressedHeader(layout, width, height);
    stream.fieldOrder = fieldOrder;
    stream.colour = colour;
    AviWriter writer;
    OpenAvi(writer, path, stream);
    for (const std::string& frame : frames)
        WriteAviFrame(writer, reinterpret_cast<const uint8_t*>(frame.data()), uint32_t(frame.size()));
    CloseAvi(writer);
}

// Where one frame's chunk data starts: the frames are the only '00dc' chunks.
size_t FrameOffset(const std::string& file, int index)
{
    size_t at = file.find("movi");
    for (int i = 0; i <= index; ++i)
        at = file.find("00dc", at + 4);
    return at + 8;
}

struct PipelineRun {
    std::vector<std::string> frames;  // what reached the appsink named "out"
    std::string caps;                 // of the first of them
    std::vector<std::string> warnings;
    std::vector<std::string> errors;
    bool ended = false;  // by EOS or an error, within the time allowed
};

void TakeMessage(GstMessage* message, PipelineRun& run)
{
    GError* error = nullptr;
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_WARNING) {
        gst_message_parse_warning(message, &error, nullptr);
        run.warnings.push_back(error->message);
    } else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        gst_message_parse_error(message, &error, nullptr);
        run.errors.push_back(error->message);
        run.ended = true;
    } else {
        run.ended = true;  // EOS
    }
    g_clear_error(&error);
    gst_message_unref(message);
}

std::string SampleBytes(GstSample* sample)
{
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstMapInfo map;
    gst_buffer_map(buffer, &map, GST_MAP_READ);
    std::string bytes(reinterpret_cast<const char*>(map.data), map.size);
    gst_buffer_unmap(buffer, &map);
    gst_sample_unref(sample);
    return bytes;
}

struct Pipeline {
    GstElement* element = nullptr;

    explicit Pipeline(const std::string& description)
    {
        GError* error = nullptr;
        element = gst_parse_launch(description.c_str(), &error);
        EXPECT_EQ(error, nullptr) << description << ": " << (error != nullptr ? error->message : "");
        g_clear_error(&error);
    }
    ~Pipeline()
    {
        gst_element_set_state(element, GST_STATE_NULL);
        gst_object_unref(element);
    }
    // The appsink named "out", if there is one.
    GstAppSink* Out() const
    {
        GstElement* sink = gst_bin_get_by_name(GST_BIN(element), "out");
        if (sink == nullptr)
            return nullptr;
        gst_object_unref(sink);  // the pipeline keeps it
        return GST_APP_SINK(sink);
    }
};

// Plays to the end, keeping every frame and message; a minute without the
// end counts as a stall.
PipelineRun RunToEnd(const Pipeline& pipeline)
{
    PipelineRun run;
    GstBus* bus = gst_element_get_bus(pipeline.element);
    gst_element_set_state(pipeline.element, GST_STATE_PLAYING);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    const auto types = GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR | GST_MESSAGE_WARNING);
    GstAppSink* out = pipeline.Out();
    const auto pullFrames = [&] {
        while (GstSample* sample = out != nullptr ? gst_app_sink_try_pull_sample(out, 0) : nullptr) {
            if (run.frames.empty()) {
                gchar* caps = gst_caps_to_string(gst_sample_get_caps(sample));
                run.caps = caps;
                g_free(caps);
            }
            run.frames.push_back(SampleBytes(sample));
        }
    };
    while (!run.ended && std::chrono::steady_clock::now() < deadline) {
        pullFrames();
        if (GstMessage* message = gst_bus_timed_pop_filtered(bus, 20 * GST_MSECOND, types))
            TakeMessage(message, run);
    }
    while (GstMessage* message = gst_bus_pop_filtered(bus, types))
        TakeMessage(message, run);
    pullFrames();
    gst_object_unref(bus);
    EXPECT_TRUE(run.ended) << "the pipeline stalled";
    return run;
}

std::string DecodePipeline(const fs::path& avi, const char* format)
{
    return "filesrc location=" + avi.string() + " ! avidemux ! qf25dec ! video/x-raw,format=" + format +
           " ! appsink name=out sync=false";
}

class GstPipelines : public ::testing::Test {
protected:
    fs::path dir;

    static void SetUpTestSuite()
    {
        gst_init(nullptr, nullptr);
        GError* error = nullptr;
        GstPlugin* plugin = gst_plugin_load_file(QF25_GST_PLUGIN, &error);
        ASSERT_NE(plugin, nullptr) << (error != nullptr ? error->message : "");
        gst_object_unref(plugin);
    }

    void SetUp() override
    {
        dir = fs::path(QF25_GST_SCRATCH) / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override
    {
        if (!HasFailure())
            fs::remove_all(dir);
    }

    // Frames 0..3: the astronaut vectors at qualities 50, 75, 95 and 99.
    std::vector<std::string> VectorFrames() const
    {
        std::vector<std::string> frames;
        for (int quality : QUALITIES)
            frames.push_back(AstronautVector(quality, ".qf25"));
        return frames;
    }
};

TEST_F(GstPipelines, DecodesEveryFrameAndSeeksToOne)
{
    const fs::path avi = dir / "vectors.avi";
    WriteAvi(avi, VectorFrames(), PIXEL_LAYOUTS[0]);
    const PipelineRun run = RunToEnd(Pipeline(DecodePipeline(avi, "UYVY")));
    EXPECT_TRUE(run.warnings.empty() && run.errors.empty());
    ASSERT_EQ(run.frames.size(), std::size(QUALITIES));
    for (size_t i = 0; i < run.frames.size(); ++i)
        EXPECT_TRUE(run.frames[i] == AstronautVector(QUALITIES[i], ".dec")) << "frame " << i;

    Pipeline seeking(DecodePipeline(avi, "UYVY"));
    gst_element_set_state(seeking.element, GST_STATE_PAUSED);
    ASSERT_EQ(gst_element_get_state(seeking.element, nullptr, nullptr, 10 * GST_SECOND), GST_STATE_CHANGE_SUCCESS);
    ASSERT_TRUE(gst_element_seek_simple(seeking.element, GST_FORMAT_TIME,
                                        GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                        2 * GST_SECOND / 25));
    GstSample* sample = gst_app_sink_try_pull_preroll(seeking.Out(), 10 * GST_SECOND);
    ASSERT_NE(sample, nullptr);
    EXPECT_TRUE(SampleBytes(sample) == AstronautVector(95, ".dec"));
}

// Downstream chooses the layout; BGR and BGRx come out top-down. Columns
// the codec does not code (right of the last multiple of 16) are black.
TEST_F(GstPipelines, DecodesIntoTheLayoutDownstreamAsksFor)
{
    const fs::path bgr24 = dir / "bgr24.avi";
    WriteAvi(bgr24, {ReadBytes(Vector("astronaut-720x486-bottomup.q95.qf25"))}, PIXEL_LAYOUTS[1]);
    PipelineRun run = RunToEnd(Pipeline(DecodePipeline(bgr24, "BGR")));
    ASSERT_EQ(run.frames.size(), 1u);
    EXPECT_TRUE(run.frames[0] == TopDown(ReadBytes(Vector("astronaut-720x486-bottomup.q95.dec")), WIDTH * 3));

    const fs::path narrow = dir / "narrow.avi";
    WriteAvi(narrow, {ReadBytes(Vector("chelsea-1000x32-bottomup.q95.qf25"))}, PIXEL_LAYOUTS[1], 1000, 32);
    run = RunToEnd(Pipeline(DecodePipeline(narrow, "BGR")));
    ASSERT_EQ(run.frames.size(), 1u);
    EXPECT_TRUE(run.frames[0] == TopDown(ReadBytes(Vector("chelsea-1000x32-bottomup.q95.dec")), 1000 * 3));

    const fs::path bgr32 = dir / "bgr32.avi";
    WriteAvi(bgr32, {ReadBytes(Vector("coffee-720x486-topdown.q95.qf25"))}, PIXEL_LAYOUTS[2]);
    run = RunToEnd(Pipeline(DecodePipeline(bgr32, "BGRx")));
    ASSERT_EQ(run.frames.size(), 1u);
    EXPECT_TRUE(run.frames[0] == ReadBytes(Vector("coffee-720x486-topdown.q95.dec")));
}

// Raw pictures through qf25enc into qf25avisink: the file holds the vectors'
// frames, which avidemux reads back.
TEST_F(GstPipelines, EncodesTheConformanceFrames)
{
    struct Case {
        const char* input;
        const char* format;
        int quality;
        const char* expected;
    };
    const Case cases[] = {
        {"astronaut-720x486.uyvy", "uyvy", 50, "astronaut-720x486.q50.qf25"},
        {"astronaut-720x486.uyvy", "uyvy", 99, "astronaut-720x486.q99.qf25"},
        {"coffee-720x486-topdown.bgr32", "bgrx", 95, "coffee-720x486-topdown.q95.qf25"},
    };
    for (const Case& c : cases) {
        const fs::path avi = dir / (std::string(c.expected) + ".avi");
        const PipelineRun written = RunToEnd(Pipeline(
            "filesrc location=" + Vector(c.input).string() + " ! rawvideoparse width=720 height=486 format=" +
            c.format + " framerate=25/1 ! qf25enc quality=" + std::to_string(c.quality) +
            " ! qf25avisink location=" + avi.string()));
        EXPECT_TRUE(written.errors.empty()) << c.expected;
        const PipelineRun read =
            RunToEnd(Pipeline("filesrc location=" + avi.string() + " ! avidemux ! appsink name=out sync=false"));
        ASSERT_EQ(read.frames.size(), 1u) << c.expected;
        EXPECT_TRUE(read.frames[0] == ReadBytes(Vector(c.expected))) << c.expected;
    }
}

// Sound on a request pad, starting two frames after the pictures: avidemux
// gives back silence for those two frames, then every sample recorded.
TEST_F(GstPipelines, RecordsSoundBesideThePicturesInStep)
{
    const fs::path avi = dir / "sound.avi";
    const std::string sound = "audiotestsrc num-buffers=12 samplesperbuffer=1000 wave=ticks timestamp-offset=80000000 "
                              "! audio/x-raw,format=S24LE,channels=2,rate=48000";
    const PipelineRun recorded = RunToEnd(Pipeline(
        "videotestsrc num-buffers=10 ! video/x-raw,format=UYVY,width=320,height=240,framerate=25/1 ! qf25enc "
        "! qf25avisink name=sink location=" + avi.string() + " " + sound + " ! sink."));
    EXPECT_TRUE(recorded.errors.empty() && recorded.warnings.empty());
    const PipelineRun source = RunToEnd(Pipeline(sound + " ! appsink name=out sync=false"));
    std::string expected(size_t(2 * 1920 * 6), '\0');
    for (const std::string& buffer : source.frames)
        expected += buffer;
    const PipelineRun read = RunToEnd(
        Pipeline("filesrc location=" + avi.string() + " ! avidemux name=d d.audio_0 ! appsink name=out sync=false"));
    std::string samples;
    for (const std::string& buffer : read.frames)
        samples += buffer;
    EXPECT_EQ(samples.size(), expected.size());
    EXPECT_TRUE(samples == expected);
}

// Frame 1's last slice says it is a byte longer than its blocks, and frame
// 2's first slice claims 16 MB: both become frame 0, with a warning each.
TEST_F(GstPipelines, DamagedFramesAreConcealedWithAWarning)
{
    std::vector<std::string> frames = VectorFrames();
    std::string& slack = frames[1];
    const FrameLayout layout = ParseFrameLayout(reinterpret_cast<const uint8_t*>(slack.data()), slack.size());
    slack[slack.size() - layout.fields[1].sliceBytes[3]] += 1;  // its low length byte is not 255
    slack.push_back(0);
    frames[2][4] = frames[2][5] = frames[2][6] = char(0xFF);
    const fs::path avi = dir / "damaged.avi";
    WriteAvi(avi, frames, PIXEL_LAYOUTS[0]);
    const PipelineRun run = RunToEnd(Pipeline(DecodePipeline(avi, "UYVY")));
    EXPECT_TRUE(run.errors.empty());
    ASSERT_EQ(run.warnings.size(), 2u);
    EXPECT_EQ(run.warnings[0], "frame 1 is damaged (its coded blocks are damaged); replaced by frame 0.");
    EXPECT_EQ(run.warnings[1].rfind("frame 2 is damaged (slice 0 of field 0 runs ", 0), 0u) << run.warnings[1];
    EXPECT_NE(run.warnings[1].find("replaced by frame 0."), std::string::npos) << run.warnings[1];
    ASSERT_EQ(run.frames.size(), 4u);
    EXPECT_TRUE(run.frames[2] == AstronautVector(50, ".dec"));
    EXPECT_TRUE(run.frames[3] == AstronautVector(99, ".dec"));
}

// The field order and colour of the file reach the raw caps, and those of
// the raw caps the file.
TEST_F(GstPipelines, CarryFieldOrderAndColour)
{
    const ColourFacts hd = {AVCOL_PRI_BT709, AVCOL_TRC_BT709, AVCOL_SPC_BT709};
    const fs::path avi = dir / "facts.avi";
    WriteAvi(avi, {VectorFrames()[0]}, PIXEL_LAYOUTS[0], WIDTH, HEIGHT, FieldOrder::BOTTOM_FIRST, hd);
    PipelineRun run = RunToEnd(Pipeline(DecodePipeline(avi, "UYVY")));
    EXPECT_NE(run.caps.find("interlace-mode=(string)interleaved"), std::string::npos) << run.caps;
    EXPECT_NE(run.caps.find("field-order=(string)bottom-field-first"), std::string::npos) << run.caps;
    EXPECT_NE(run.caps.find("colorimetry=(string)bt709"), std::string::npos) << run.caps;
    WriteAvi(avi, {VectorFrames()[0]}, PIXEL_LAYOUTS[0], WIDTH, HEIGHT, FieldOrder::PROGRESSIVE);
    run = RunToEnd(Pipeline(DecodePipeline(avi, "UYVY")));
    EXPECT_NE(run.caps.find("interlace-mode=(string)progressive"), std::string::npos) << run.caps;
    GstCaps* caps = gst_caps_from_string(run.caps.c_str());
    GstVideoInfo info;
    ASSERT_TRUE(caps != nullptr && gst_video_info_from_caps(&info, caps)) << run.caps;
    EXPECT_EQ(info.colorimetry.matrix, GST_VIDEO_COLOR_MATRIX_BT601) << "the usual for 486 lines";
    gst_caps_unref(caps);

    const fs::path recorded = dir / "recorded.avi";
    RunToEnd(Pipeline("filesrc location=" + Vector("astronaut-720x486.uyvy").string() +
                      " ! rawvideoparse width=720 height=486 format=uyvy framerate=25/1 interlaced=true "
                      "top-field-first=false colorimetry=bt709 ! qf25enc ! qf25avisink location=" +
                      recorded.string()));
    AviHeader header;
    ASSERT_TRUE(ReadAviHeader(recorded, header));
    EXPECT_TRUE(header.fieldOrder == FieldOrder::BOTTOM_FIRST);
    EXPECT_TRUE(header.colour == hd);
}

TEST_F(GstPipelines, GarbledCutAndImpossibleFilesEndCleanly)
{
    const fs::path avi = dir / "vectors.avi";
    WriteAvi(avi, VectorFrames(), PIXEL_LAYOUTS[0]);
    const std::string bytes = ReadBytes(avi);

    std::string garbled = bytes;
    uint32_t seed = 12345;
    for (int frame = 0; frame < 4; ++frame) {
        const size_t start = FrameOffset(bytes, frame) + 40;  // past the frame and slice headers
        for (int i = 0; i < 200; ++i) {
            seed = seed * 1664525 + 1013904223;
            garbled[start + (seed >> 8) % 20000] = char(seed >> 24);
        }
    }
    WriteBytes(dir / "garbled.avi", garbled);
    PipelineRun run = RunToEnd(Pipeline(DecodePipeline(dir / "garbled.avi", "UYVY")));
    EXPECT_TRUE(run.errors.empty());
    EXPECT_EQ(run.frames.size(), 4u);

    WriteBytes(dir / "cut.avi", bytes.substr(0, FrameOffset(bytes, 3) + 1000));
    run = RunToEnd(Pipeline(DecodePipeline(dir / "cut.avi", "UYVY")));
    ASSERT_GE(run.frames.size(), 3u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_TRUE(run.frames[i] == AstronautVector(QUALITIES[i], ".dec")) << "frame " << i;

    // A picture size whose frames would pass 32 bits: refused before any frame.
    std::string huge = bytes;
    const size_t format = huge.find("strf") + 8;
    huge[format + 5] = huge[format + 9] = char(0x7F);
    WriteBytes(dir / "huge.avi", huge);
    run = RunToEnd(Pipeline(DecodePipeline(dir / "huge.avi", "UYVY")));
    EXPECT_FALSE(run.errors.empty());
    EXPECT_TRUE(run.frames.empty());
}

}  // namespace
