// SPDX-License-Identifier: BSD-2-Clause
// qf25: encode, decode, inspect and benchmark QF25 video in real files.

#include "Commands.h"
#include "Interrupt.h"
#include "ToolError.h"

#include <qf25.h>

#include <cstdio>
#include <cstring>
#include <new>

extern "C" {
#include <libavutil/log.h>
}

namespace {

struct CommandEntry {
    const char* name;
    int (*run)(const Options& options);
};

const CommandEntry COMMAND_TABLE[] = {
    {"encode", RunEncode}, {"decode", RunDecode}, {"info", RunInfo}, {"bench", RunBench}, {"demo", RunDemo},
};

int Run(int argc, const char* const* argv)
{
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(GeneralHelp().c_str(), stdout);
        return EXIT_OK;
    }
    if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("qf25 %s (kernels: %s)\n", QF25_VERSION, QFC_KernelTier());
        return EXIT_OK;
    }
    const Options options = ParseOptions(argc, argv);
    if (options.help) {
        std::fputs(CommandHelp(options.command).c_str(), stdout);
        return EXIT_OK;
    }
    av_log_set_level(options.verbose ? AV_LOG_WARNING : AV_LOG_QUIET);
    if (options.cpuMaskSet)
        SetCodecCpuMask(options.cpuMask);
    InstallInterruptHandler();
    for (const CommandEntry& command : COMMAND_TABLE) {
        if (options.command == command.name)
            return command.run(options);
    }
    return EXIT_USAGE;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        return Run(argc, argv);
    } catch (const ToolError& error) {
        std::fprintf(stderr, "qf25: %s\n", error.message.c_str());
        return error.exitCode;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "qf25: out of memory\n");
        return EXIT_FAILED;
    }
}
