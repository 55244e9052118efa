// SPDX-License-Identifier: BSD-2-Clause
// `qf25 bench --peers`: QF25 beside libjpeg-turbo, mjpeg, dnxhd, speedhq,
// ProRes and CineForm on the same pictures, in the same run, one table per
// picture size and layout, then QF25's speed against each peer's at equal
// bitrate and at equal PSNR.
#include "Commands.h"

#include "BenchClip.h"
#include "DemoClip.h"
#include "Progress.h"
#include "ToolError.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <iterator>
#include <optional>

namespace {

constexpr int SD_WIDTH = 720;
constexpr int SD_HEIGHT = 486;
constexpr int COLUMNS = 4;  // encode and decode, each on one thread and on all
constexpr int64_t QUICK_FRAMES = 6;
constexpr double QUICK_SECONDS = 0.15;
constexpr double PEERS_SECONDS = 1.0;  // a measurement's default time in a full run

// A table's row: a codec at one of its levels (0: the codec has none).
struct PeerRow {
    const PeerCodec* codec;
    int level;
};

// One `bench --peers` run: its options with --quick applied, its rows and
// its progress in measurements.
struct PeerRun {
    Options options;
    int instances = 1;
    std::vector<PeerRow> rows;  // QF25's first, from its lowest quality up
    int workersQuality = DEFAULT_QUALITY;
    Progress progress;
    int64_t measured = 0;
};

struct PeerFigures {
    PeerRow row;
    std::string skipped;  // why the codec has no figures
    double bitsPerPixel = 0;
    double psnr = 0;
    double ssim = 0;
    double fps[COLUMNS] = {};  // 0: not measured
    double workersDecode = 0;  // QF25 at workersQuality: one instance decoding on its four workers
};

bool IsQf25(const PeerFigures& figures)
{
    return figures.row.codec->family == PeerFamily::QF25;
}

// Every level of QF25 (and --quality's), since the comparisons at equal
// bitrate and PSNR interpolate between them; every level of each peer in a
// full run, its quick level with --quick.
std::vector<PeerRow> Rows(const Options& options)
{
    std::vector<PeerRow> rows;
    for (const PeerCodec& codec : PEER_CODECS) {
        if (options.quick && !codec.quick)
            continue;
        if (codec.levels.empty())
            rows.push_back({&codec, 0});
        const bool sweep = codec.family == PeerFamily::QF25 || !options.quick;
        for (const int level : codec.levels) {
            if (sweep || level == codec.quickLevel)
                rows.push_back({&codec, level});
        }
    }
    const auto qf25End = std::find_if(rows.begin(), rows.end(),
                                      [](const PeerRow& row) { return row.codec->family != PeerFamily::QF25; });
    const auto at = std::lower_bound(rows.begin(), qf25End, options.quality,
                                     [](const PeerRow& row, int quality) { return row.level < quality; });
    if (options.quality != 0 && (at == qf25End || at->level != options.quality))
        rows.insert(at, {&PEER_CODECS[0], options.quality});
    return rows;
}

std::string SettingsText(const PeerRow& row)
{
    const PeerCodec& codec = *row.codec;
    if (row.level == 0)
        return codec.settings;
    const std::string level = std::string(codec.levelName) + " " + std::to_string(row.level);
    return *codec.settings != '\0' ? level + ", " + codec.settings : level;
}

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

double Timed(PeerRun& run, const PeerRow& row, const BenchClip& clip, const CodedClip& coded, const BenchRun& bench)
{
    const double fps = MeasureCodec(*row.codec, clip, coded, bench, row.level, run.options.seconds);
    UpdateProgress(run.progress, ++run.measured);
    return fps;
}

// For the progress line: what one table measures.
int64_t MeasurementsPerTable(const PeerRun& run)
{
    const std::vector<BenchRun> columns = Columns(run.instances);
    int64_t perRow = 0;
    for (int c = 0; c < COLUMNS; ++c)
        perRow += Measured(columns, c) ? 1 : 0;
    return perRow * int64_t(run.rows.size()) + 1;
}

double BitsPerPixel(const CodedClip& coded, const BenchClip& clip)
{
    return 8.0 * double(coded.bytes) / double(clip.pictures.size()) / (double(clip.width) * double(clip.height));
}

PeerFigures MeasureRow(PeerRun& run, const PeerRow& row, const BenchClip& clip)
{
    PeerFigures figures{row, {}};
    const CodedClip coded = CodeClip(*row.codec, clip, row.level);
    figures.bitsPerPixel = BitsPerPixel(coded, clip);
    figures.psnr = coded.psnr;
    figures.ssim = coded.ssim;
    const std::vector<BenchRun> columns = Columns(run.instances);
    for (int c = 0; c < COLUMNS; ++c) {
        if (Measured(columns, c))
            figures.fps[c] = Timed(run, row, clip, coded, columns[size_t(c)]);
    }
    // A single stream decoded as fast as one instance can.
    if (IsQf25(figures) && row.level == run.workersQuality)
        figures.workersDecode = Timed(run, row, clip, coded, {BenchStep::DECODE, 1, SliceThreads::WORKERS});
    return figures;
}

void PrintFigure(double value, const char* format)
{
    if (value > 0)
        std::printf(format, value);
    else
        std::printf(" %10s", "-");
}

void PrintName(const PeerRow& row)
{
    std::printf("%-14s %-19s", row.codec->name, SettingsText(row).c_str());
}

void PrintRow(const PeerFigures& figures)
{
    PrintName(figures.row);
    if (!figures.skipped.empty()) {
        std::printf(" skipped: %s\n", figures.skipped.c_str());
        return;
    }
    std::printf(" %7.2f %7.2f %7.4f", figures.bitsPerPixel, figures.psnr, figures.ssim);
    for (const double fps : figures.fps)
        PrintFigure(fps, " %10.1f");
    std::printf("\n");
}

using Speeds = std::array<double, COLUMNS>;

// QF25's speeds where `key` (bits per pixel or PSNR, both rising with the
// quality) reaches `target`: in each column the time per frame interpolated
// linearly in `key` between the two qualities around it. None outside them.
std::optional<Speeds> SpeedsAt(const std::vector<PeerFigures>& qf25, double PeerFigures::*key, double target)
{
    for (size_t i = 1; i < qf25.size(); ++i) {
        const PeerFigures& a = qf25[i - 1];
        const PeerFigures& b = qf25[i];
        if (target < a.*key || target > b.*key)
            continue;
        const double t = b.*key > a.*key ? (target - a.*key) / (b.*key - a.*key) : 0.0;
        Speeds speeds{};
        for (int c = 0; c < COLUMNS; ++c) {
            if (a.fps[c] > 0 && b.fps[c] > 0)
                speeds[size_t(c)] = 1.0 / ((1.0 - t) / a.fps[c] + t / b.fps[c]);
        }
        return speeds;
    }
    return std::nullopt;
}

void PrintRatios(const std::optional<Speeds>& qf25, const PeerFigures& peer)
{
    for (int c = 0; c < COLUMNS; ++c)
        PrintFigure(qf25 && peer.fps[c] > 0 ? (*qf25)[size_t(c)] / peer.fps[c] : 0, " %10.2f");
}

void PrintEqualQuality(const std::vector<PeerFigures>& table, const std::string& all)
{
    std::vector<PeerFigures> qf25;
    std::copy_if(table.begin(), table.end(), std::back_inserter(qf25), IsQf25);
    // Both halves line up with the table's four speed columns.
    std::printf("%-78s | %s\n", "qf25/peer, qf25 at the peer's bitrate", "qf25 at the peer's PSNR");
    std::printf("%-34s", "");
    for (int half = 0; half < 2; ++half)
        std::printf(" %10s %10s %10s %10s%s", "enc 1 thr", ("enc " + all).c_str(), "dec 1 thr",
                    ("dec " + all).c_str(), half == 0 ? " |" : "\n");
    for (const PeerFigures& peer : table) {
        if (IsQf25(peer) || !peer.skipped.empty())
            continue;
        PrintName(peer.row);
        PrintRatios(SpeedsAt(qf25, &PeerFigures::bitsPerPixel, peer.bitsPerPixel), peer);
        std::printf(" |");
        PrintRatios(SpeedsAt(qf25, &PeerFigures::psnr, peer.psnr), peer);
        std::printf("\n");
    }
}

void PrintTable(PeerRun& run, const BenchClip& clip)
{
    const int instances = run.instances;
    std::printf("\n%dx%d %s\n", clip.width, clip.height, clip.layout->name);
    const std::string all = std::to_string(instances) + " thr";
    std::printf("%-14s %-19s %7s %7s %7s %10s %10s %10s %10s\n", "codec", "settings", "bits/px", "PSNR dB", "SSIM",
                "enc 1 thr", ("enc " + all).c_str(), "dec 1 thr", ("dec " + all).c_str());
    std::vector<PeerFigures> table;
    for (const PeerRow& row : run.rows) {
        try {
            table.push_back(MeasureRow(run, row, clip));
        } catch (const ToolError& error) {
            // A peer that cannot code the size is noted; QF25 failing is a failure.
            if (row.codec->family == PeerFamily::QF25)
                throw;
            table.push_back({row, error.message});
        }
        EndProgress(run.progress);
        PrintRow(table.back());
        std::fflush(stdout);
    }
    const PeerFigures& qf25 = *std::find_if(table.begin(), table.end(),
                                            [](const PeerFigures& figures) { return figures.workersDecode > 0; });
    const double workers = qf25.workersDecode;
    std::printf("qf25 quality %d decoding one frame at a time on one instance's 4 workers: %.1f frames/s, %.2f "
                "times its own decode on one thread\n",
                run.workersQuality, workers, workers / qf25.fps[2]);
    PrintEqualQuality(table, all);
    std::fflush(stdout);
}

}  // namespace

int RunPeerBench(const Options& options)
{
    PeerRun run;
    run.options = options;
    run.instances = WorkerCount(options);
    run.rows = Rows(options);
    if (options.quality != 0)
        run.workersQuality = options.quality;
    run.options.seconds = options.seconds > 0 ? options.seconds : PEERS_SECONDS;
    if (options.quick) {
        run.options.seconds = std::min(run.options.seconds, QUICK_SECONDS);
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
                    "PSNR: all decoded 8-bit samples (Y, Cb, Cr or B, G, R) against the pictures coded;\n"
                    "  SSIM: the same samples by libavfilter's ssim filter, planes weighted by their sizes.\n"
                    "qf25/peer at the peer's bitrate or PSNR: in each column, qf25's time per frame interpolated\n"
                    "  linearly in bits per pixel, or in PSNR, between the two qualities of qf25 around the\n"
                    "  peer's figure, against the peer's own time; -: outside qf25's qualities.\n",
                    clip.pictures.size(), clip.description.c_str(), run.options.seconds / 5, instances, instances);
                first = false;
            }
            PrintTable(run, clip);
        }
    }
    EndProgress(run.progress);
    return EXIT_OK;
}
