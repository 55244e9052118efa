// SPDX-License-Identifier: BSD-2-Clause
// Frames per second of QF25 and its peers (libjpeg-turbo, FFmpeg's mjpeg,
// dnxhd and speedhq) on one thread, coding a 1920x1080 frame of the qf25 command's
// built-in clip in UYVY and in BGR32, through the sessions that `qf25 bench
// --peers` times. A peer that cannot code the picture is left out with a
// note on standard error.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <deque>
#include <functional>

#include "BenchClip.h"
#include "ToolError.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

struct PeerCase {
    const PeerCodec* codec;
    const BenchClip* clip;
    CodedClip coded;
};

void SetCounters(benchmark::State& state, const PeerCase& peer)
{
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["bits/px"] = 8.0 * double(peer.coded.sizes[0]) / (double(peer.clip->width) * peer.clip->height);
}

void Encode(benchmark::State& state, const PeerCase& peer)
{
    const BenchClip& clip = *peer.clip;
    PeerSession session = OpenPeerEncoder(*peer.codec, *clip.layout, clip.width, clip.height, 0);
    const uint8_t* picture = InputsFor(*peer.codec, clip)[0].data();
    for (auto _ : state)
        benchmark::DoNotOptimize(PeerEncode(session, picture).size());
    SetCounters(state, peer);
}

void Decode(benchmark::State& state, const PeerCase& peer, SliceThreads slices)
{
    const BenchClip& clip = *peer.clip;
    PeerSession session = OpenPeerDecoder(*peer.codec, *clip.layout, clip.width, clip.height, slices);
    for (auto _ : state)
        PeerDecode(session, peer.coded.frames[0].data(), peer.coded.sizes[0]);
    SetCounters(state, peer);
}

void Register(const std::string& name, const std::function<void(benchmark::State&)>& run)
{
    benchmark::RegisterBenchmark(name.c_str(), [run](benchmark::State& state) { run(state); })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    av_log_set_level(AV_LOG_QUIET);
    Options options;
    options.frames = 1;
    options.peers = true;
    // Stable addresses: the registered cases refer to these.
    std::deque<BenchClip> clips;
    std::deque<PeerCase> cases;
    try {
        for (const char* layout : {"uyvy", "bgr32"}) {
            clips.push_back(LoadBenchClip(options, *FindPixelLayout(layout), 0, 0));
            for (const PeerCodec& codec : PEER_CODECS) {
                try {
                    cases.push_back({&codec, &clips.back(), CodeClip(codec, clips.back(), 0)});
                } catch (const ToolError& error) {
                    std::fprintf(stderr, "%s %s left out: %s\n", codec.name, layout, error.message.c_str());
                    continue;
                }
                const PeerCase& peer = cases.back();
                const std::string suffix = std::string(codec.name) + "/" + layout;
                Register("Encode/" + suffix, [&peer](benchmark::State& state) { Encode(state, peer); });
                Register("Decode/" + suffix,
                         [&peer](benchmark::State& state) { Decode(state, peer, SliceThreads::CALLER); });
                if (codec.family == PeerFamily::QF25)
                    Register("Decode/qf25-4workers/" + std::string(layout),
                             [&peer](benchmark::State& state) { Decode(state, peer, SliceThreads::WORKERS); });
            }
        }
    } catch (const ToolError& error) {
        std::fprintf(stderr, "%s\n", error.message.c_str());
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
