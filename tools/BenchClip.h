// SPDX-License-Identifier: BSD-2-Clause
// What `qf25 bench` measures on: a few pictures held in memory, coded once
// beforehand by each codec, and the loop that times one codec on one or on
// several threads.
#pragma once

#include "Options.h"
#include "Peers.h"

#include <cstdint>
#include <string>
#include <vector>

struct BenchClip {
    std::string description;
    const PixelLayout* layout = nullptr;
    int width = 0;
    int height = 0;
    // Each followed by PEER_PADDING bytes. `planes` holds the same UYVY
    // pictures as the peers take them, prepared so that no timed call repacks.
    std::vector<std::vector<uint8_t>> pictures;
    std::vector<std::vector<uint8_t>> planes;
    std::vector<std::vector<uint8_t>> widePlanes;  // `planes` as the 10-bit peers take them
};

// IN, or the built-in clip scaled to `width` x `height` (0: its own size).
BenchClip LoadBenchClip(const Options& options, const PixelLayout& layout, int width, int height);

// The pictures in the form the codec takes them.
const std::vector<std::vector<uint8_t>>& InputsFor(const PeerCodec& codec, const BenchClip& clip);
// The pictures in the form CopyDecoded gives them back.
const std::vector<std::vector<uint8_t>>& ReferencesFor(const PeerCodec& codec, const BenchClip& clip);

// A clip as one codec codes it.
struct CodedClip {
    std::vector<std::vector<uint8_t>> frames;  // each followed by PEER_PADDING zero bytes
    std::vector<size_t> sizes;
    uint64_t bytes = 0;
    double psnr = 0;  // of all decoded samples (not BGR32's fourth bytes) against the clip's
    double ssim = 0;  // the same samples' mean SSIM
};

// Codes and decodes every picture once, untimed. `level` as OpenPeerEncoder takes it.
CodedClip CodeClip(const PeerCodec& codec, const BenchClip& clip, int level);

enum class BenchStep { ENCODE, DECODE };

struct BenchRun {
    BenchStep step;
    int instances;        // sessions at work at once, each on a thread of its own
    SliceThreads slices;  // for QF25 decoders
};

// Frames per second: the fastest of a few rounds that together take about
// `seconds`, since other load on the machine only ever slows a round down.
double MeasureCodec(const PeerCodec& codec, const BenchClip& clip, const CodedClip& coded, const BenchRun& run,
                    int level, double seconds);
