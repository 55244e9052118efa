// `qf25 bench --peers`: QF25 beside libjpeg-turbo, mjpeg, dnxhd, speedhq,
// ProRes and CineForm on the same pictures, in the same run, one table per picture size and
// layout.
#include "Commands.h"

#include "BenchClip.h"
#include "DemoClip.h"
#include "Progress.h"
#include "ToolError.h"

#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

constexpr int SD_WIDTH = 720;
constexpr int SD_HEIGHT = 486;
constexpr int COLUMNS = 4;  // encode and decode, each on one thread and on all
// QF25's qualities for the comparisons at equal bitrate and equal PSNR.
constexpr int SWEEP_QUALITIES[] = {50, 75, 90, 95, 99};
constexpr int SWEEP_SIZE = int(std::size(SWEEP_QUALITIES));
constexpr int64_t QUICK_FRAMES = 6;
constexpr double QUICK_SECONDS = 0.15;

// One `bench --peers` run: its options with --quick applied, the codecs it
// codes and its progress in measurements.
struct PeerRun {
    Options options;
    int instances = 1;
    std::vector<const PeerCodec*> codecs;
    Progress progress;
    int64_t measured = 0;
};

struct PeerFigures {
    const PeerCodec* codec;
    std::string skipped;  // why the codec has no figures
    double bitsPerPixel = 0;
    double psnr = 0;
    double fps[COLUMNS] = {};  // 0: not measured
    double workersDecode = 0;  // QF25: one instance decoding on its four workers
};

std::vector<BenchRun> Columns(int instances)
{
    return {{BenchStep::ENCODE, 1, SliceThreads::CALLER},
            {BenchStep::ENCODE, instances, SliceThreads::CALLER},
            {BenchStep::DECODE, 1, SliceThreads::CALLER},
            {BenchStep::DECODE, instances, SliceThreads::CALLER}};
}

// The one-instance columns are measured once when there is one instance.
bool Measured(const std::vector<BenchRun>& columns, int column)
{
    return columns[size_t(column)].instances > 1 || column % 2 == 0;
}

double Timed(PeerRun& run, const PeerCodec& codec, const BenchClip& clip, const CodedClip& coded,
             const BenchRun& bench, int quality)
{
    const double fps = MeasureCodec(codec, clip, coded, bench, quality, run.options.seconds);
    UpdateProgress(run.progress, ++run.measured);
    return fps;
}

// For the progress line: what one table measures.
int64_t MeasurementsPerTable(const PeerRun& run)
{
    const std::vector<BenchRun> columns = Columns(run.instances);
    int64_t perCodec = 0;
    for (int c = 0; c < COLUMNS; ++c)
        perCodec += Measured(columns, c) ? 1 : 0;
    return perCodec * int64_t(run.codecs.size()) + 1 + 2 * SWEEP_SIZE;
}

double BitsPerPixel(const CodedClip& coded, const BenchClip& clip)
{
    return 8.0 * double(coded.bytes) / double(clip.pictures.size()) / (double(clip.width) * double(clip.height));
}

PeerFigures MeasurePeer(PeerRun& run, const PeerCodec& codec, const BenchClip& clip)
{
    const int quality = run.options.quality;
    PeerFigures figures{&codec, {}};
    const CodedClip coded = CodeClip(codec, clip, quality);
    figures.bitsPerPixel = BitsPerPixel(coded, clip);
    figures.psnr = coded.psnr;
    const std::vector<BenchRun> columns = Columns(run.instances);
    for (int c = 0; c < COLUMNS; ++c) {
        if (Measured(columns, c))
            figures.fps[c] = Timed(run, codec, clip, coded, columns[size_t(c)], quality);
    }
    // A single stream decoded as fast as one instance can.
    if (codec.family == PeerFamily::QF25)
        figures.workersDecode = Timed(run, codec, clip, coded, {BenchStep::DECODE, 1, SliceThreads::WORKERS}, quality);
    return figures;
}

void PrintFigure(double value, const char* format)
{
    if (value > 0)
        std::printf(format, value);
    else
        std::printf(" %10s", "-");
}

void PrintRow(const PeerFigures& figures, const Options& options)
{
    const PeerCodec& codec = *figures.codec;
    const std::string settings =
        codec.settings != nullptr ? codec.settings
                                 : "quality " + std::to_string(options.quality ? options.quality : DEFAULT_QUALITY);
    std::printf("%-14s %-19s", codec.name, settings.c_str());
    if (!figures.skipped.empty()) {
        std::printf(" skipped: %s\n", figures.skipped.c_str());
        return;
    }
    std::printf(" %7.2f %7.2f", figures.bitsPerPixel, figures.psnr);
    for (const double fps : figures.fps)
        PrintFigure(fps, " %10.1f");
    std::printf("\n");
}

// QF25 at one quality: rate, distortion and one-thread speed.
struct SweepPoint {
    int quality;
    double bitsPerPixel;
    double psnr;
    double encodeFps;
    double decodeFps;
};

std::vector<SweepPoint> MeasureSweep(PeerRun& run, const BenchClip& clip)
{
    const PeerCodec& qf25 = PEER_CODECS[0];
    std::vector<SweepPoint> sweep;
    for (const int quality : SWEEP_QUALITIES) {
        const CodedClip coded = CodeClip(qf25, clip, quality);
        const auto speed = [&](BenchStep step) {
            return Timed(run, qf25, clip, coded, {step, 1, SliceThreads::CALLER}, quality);
        };
        sweep.push_back({quality, BitsPerPixel(coded, clip), coded.psnr, speed(BenchStep::ENCODE),
                         speed(BenchStep::DECODE)});
    }
    return sweep;
}

struct Speeds {
    double encode;
    double decode;
};

// QF25's one-thread speeds where `key` (bits per pixel or PSNR, both rising
// with the quality) reaches `target`: the time per frame interpolated
// linearly in `key` between the two qualities around it. None outside the
// sweep.
std::optional<Speeds> SpeedsAt(const std::vector<SweepPoint>& sweep, double SweepPoint::*key, double target)
{
    for (size_t i = 1; i < sweep.size(); ++i) {
        const SweepPoint& a = sweep[i - 1];
        const SweepPoint& b = sweep[i];
        if (target < a.*key || target > b.*key)
            continue;
        const double t = b.*key > a.*key ? (target - a.*key) / (b.*key - a.*key) : 0.0;
        const auto at = [t](double fpsA, double fpsB) { return 1.0 / ((1.0 - t) / fpsA + t / fpsB); };
        return Speeds{at(a.encodeFps, b.encodeFps), at(a.decodeFps, b.decodeFps)};
    }
    return std::nullopt;
}

void PrintRatios(const char* where, const std::optional<Speeds>& qf25, const PeerFigures& peer)
{
    if (!qf25) {
        std::printf("%s: outside qf25's qualities", where);
        return;
    }
    std::printf("%s: encode %.2f, decode %.2f", where, qf25->encode / peer.fps[0], qf25->decode / peer.fps[2]);
}

void PrintEqualQuality(PeerRun& run, const std::vector<PeerFigures>& table, const BenchClip& clip)
{
    const std::vector<SweepPoint> sweep = MeasureSweep(run, clip);
    EndProgress(run.progress);
    for (const SweepPoint& point : sweep) {
        const std::string settings = "quality " + std::to_string(point.quality);
        std::printf("%-14s %-19s %7.2f %7.2f %10.1f %10s %10.1f\n", "qf25", settings.c_str(), point.bitsPerPixel,
                    point.psnr, point.encodeFps, "", point.decodeFps);
    }
    for (size_t p = 1; p < table.size(); ++p) {
        const PeerFigures& peer = table[p];
        if (!peer.skipped.empty())
            continue;
        std::printf("qf25/%s on one thread", peer.codec->name);
        PrintRatios(" at its bitrate", SpeedsAt(sweep, &SweepPoint::bitsPerPixel, peer.bitsPerPixel), peer);
        PrintRatios("; at its PSNR", SpeedsAt(sweep, &SweepPoint::psnr, peer.psnr), peer);
        std::printf("\n");
    }
}

void PrintTable(PeerRun& run, const BenchClip& clip)
{
    const int instances = run.instances;
    std::printf("\n%dx%d %s\n", clip.width, clip.height, clip.layout->name);
    const std::string all = std::to_string(instances) + " thr";
    std::printf("%-14s %-19s %7s %7s %10s %10s %10s %10s\n", "codec", "settings", "bits/px", "PSNR dB", "enc 1 thr",
                ("enc " + all).c_str(), "dec 1 thr", ("dec " + all).c_str());
    std::vector<PeerFigures> table;
    for (const PeerCodec* codec : run.codecs) {
        try {
            table.push_back(MeasurePeer(run, *codec, clip));
        } catch (const ToolError& error) {
            // A peer that cannot code the size is noted; QF25 failing is a failure.
            if (codec->family == PeerFamily::QF25)
                throw;
            table.push_back({codec, error.message});
        }
        EndProgress(run.progress);
        PrintRow(table.back(), run.options);
        std::fflush(stdout);
    }
    const PeerFigures& qf25 = table[0];
    for (size_t p = 1; p < table.size(); ++p) {
        if (!table[p].skipped.empty())
            continue;
        std::printf("%-34s %15s", ("qf25/" + std::string(table[p].codec->name)).c_str(), "");
        for (int c = 0; c < COLUMNS; ++c)
            PrintFigure(table[p].fps[c] > 0 ? qf25.fps[c] / table[p].fps[c] : 0, " %10.2f");
        std::printf("\n");
    }
    const double workers = qf25.workersDecode;
    std::printf("qf25 decoding one frame at a time on one instance's 4 workers: %.1f frames/s, %.2f times its own "
                "decode on one thread",
                workers, workers / qf25.fps[2]);
    const PeerFigures& turbo = table[1];
    const int column = instances > 1 ? 3 : 2;
    if (turbo.skipped.empty() && turbo.fps[column] > 0)
        std::printf(", %.2f times libjpeg-turbo's decode on %d thread%s", workers / turbo.fps[column],
                    column == 3 ? instances : 1, column == 3 ? "s" : "");
    std::printf("\n");
    PrintEqualQuality(run, table, clip);
    std::fflush(stdout);
}

}  // namespace

int RunPeerBench(const Options& options)
{
    PeerRun run;
    run.options = options;
    run.instances = WorkerCount(options);
    for (const PeerCodec& codec : PEER_CODECS) {
        if (codec.quick || !options.quick)
            run.codecs.push_back(&codec);
    }
    if (options.quick) {
        run.options.seconds = std::min(options.seconds, QUICK_SECONDS);
        run.options.frames = options.frames > 0 ? options.frames : QUICK_FRAMES;
    }
    const int instances = run.instances;
    struct Size {
        int width;
        int height;
    };
    const std::vector<Size> sizes = options.files.empty()
                                        ? std::vector<Size>{{DEMO_WIDTH, DEMO_HEIGHT}, {SD_WIDTH, SD_HEIGHT}}
                                        : std::vector<Size>{{0, 0}};
    const PixelLayout* layouts[] = {FindPixelLayout("uyvy"), FindPixelLayout("bgr32")};
    const int64_t tables = int64_t(sizes.size() * std::size(layouts));
    run.progress = StartProgress("bench --peers", tables * MeasurementsPerTable(run), options.quiet);
    run.progress.countsFrames = false;
    bool first = true;
    for (const Size& size : sizes) {
        for (const PixelLayout* layout : layouts) {
            const BenchClip clip = LoadBenchClip(run.options, *layout, size.width, size.height);
            if (first) {
                std::printf(
                    "qf25 bench --peers: %zu frames of %s; frames per second, the best of 5 rounds of %.2g s\n"
                    "1 thr: one instance, handle or context on one thread. %d thr: %d of them at once, one per\n"
                    "  thread, coding different frames (libavcodec's own threading is off).\n"
                    "qf25/peer: above 1, qf25 is the faster.\n"
                    "UYVY: the peers code planar 4:2:2, repacked from UYVY beforehand; only the codec call\n"
                    "  is timed. ProRes and CineForm take 10 bits: the same 8-bit samples shifted left by 2\n"
                    "  beforehand, their decoded samples rounded back to 8 bits ((x + 2) >> 2) untimed.\n"
                    "BGR32: qf25 and libjpeg-turbo (BGRX) convert colours themselves; the libavcodec peers\n"
                    "  take and give planes (8 or 10 bits), converted by libswscale inside the timed call.\n"
                    "PSNR: all decoded 8-bit samples (Y, Cb, Cr or B, G, R) against the pictures coded.\n"
                    "Equal bitrate, equal PSNR: qf25 at qualities 50, 75, 90, 95 and 99 on one thread; its time\n"
                    "  per frame interpolated linearly in bits per pixel, or in PSNR, between the two qualities\n"
                    "  around the peer's, against the peer's own one-thread speed.\n",
                    clip.pictures.size(), clip.description.c_str(), run.options.seconds / 5, instances, instances);
                first = false;
            }
            PrintTable(run, clip);
        }
    }
    EndProgress(run.progress);
    return EXIT_OK;
}
