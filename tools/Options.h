// SPDX-License-Identifier: BSD-2-Clause
// The command line: one command, its files and options. Options are rows of
// one table that also produces each command's --help.
#pragma once

#include "VideoFacts.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum CommandBit : unsigned {
    COMMAND_ENCODE = 1,
    COMMAND_DECODE = 2,
    COMMAND_INFO = 4,
    COMMAND_BENCH = 8,
    COMMAND_DEMO = 16,
};

struct Options {
    std::string command;
    unsigned commandBit = 0;
    std::vector<std::string> files;
    int quality = 0;  // 0: the codec's own default
    std::string pix = "uyvy";
    int threads = 0;  // 0: one per core
    int64_t frames = 0;  // 0: all, or the command's default
    double seconds = 0;  // 0: the command's default
    bool quiet = false;
    bool verbose = false;
    bool help = false;
    bool verify = false;
    bool peers = false;
    bool quick = false;  // bench --peers: fewer settings, frames and seconds
    bool skipDamaged = false;
    bool crop = false;
    bool pad = false;
    bool noAudio = false;
    bool noStreams = false;
    std::string audioCodec;
    bool cpuMaskSet = false;
    uint32_t cpuMask = 0;
    std::string size;
    std::string pixFmt;
    std::string rate;
    std::optional<FieldOrder> fieldOrder;
    std::string codec;
    std::string format;
    std::string inputFormat;
    std::string outDir = ".";
};

// Throws a usage failure for anything it cannot make sense of. A command's
// --help is not an error: `help` is set and the files are not checked.
Options ParseOptions(int argc, const char* const* argv);
std::string CommandHelp(const std::string& command);
// Codec instances to run at once: --threads, or one per core.
int WorkerCount(const Options& options);
std::string GeneralHelp();
