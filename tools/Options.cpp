// SPDX-License-Identifier: BSD-2-Clause
#include "Options.h"

#include "Codec.h"
#include "ToolError.h"

#include <algorithm>
#include <charconv>
#include <thread>
#include <utility>

namespace {

constexpr unsigned CODING = COMMAND_ENCODE | COMMAND_DECODE | COMMAND_INFO | COMMAND_BENCH | COMMAND_DEMO;

struct CommandRow {
    const char* name;
    unsigned bit;
    int minFiles;
    int maxFiles;
    const char* usage;
    const char* summary;
};

const CommandRow COMMANDS[] = {
    {"encode", COMMAND_ENCODE, 2, 2, "qf25 encode IN OUT [options]",
     "Codes video that FFmpeg can read (any file, an image sequence such as img%04d.png,\n"
     "raw video with --size and --pix-fmt, or - for standard input) into QF25.\n"
     "OUT is an AVI unless its name or --format picks another container. The other\n"
     "streams (sound, subtitles, data) and the tags are kept, or named when they cannot be."},
    {"decode", COMMAND_DECODE, 2, 2, "qf25 decode IN OUT [options]",
     "Decodes the QF25 video of any container into Y4M (.y4m, or - for standard output),\n"
     "raw video (.yuv, .rgb), numbered pictures (frame%04d.png) or any FFmpeg encoder's\n"
     "output (--codec). Damaged frames are reported and replaced by the last good one.\n"
     "The other streams and the tags are kept where OUT holds them, or named."},
    {"info", COMMAND_INFO, 1, 1, "qf25 info FILE [options]",
     "Shows the container and every stream, then per frame the quality byte and the\n"
     "lengths of both fields and their slices."},
    {"bench", COMMAND_BENCH, 0, 1, "qf25 bench [IN] [options]",
     "Measures encoding and decoding speed on one thread and on all of them, on IN\n"
     "or on the built-in 1920x1080 clip; --peers sets libjpeg-turbo, mjpeg, dnxhd,\n"
     "speedhq, ProRes and CineForm beside it (the built-in clip at 1920x1080 and 720x486)."},
    {"demo", COMMAND_DEMO, 0, 0, "qf25 demo [options]",
     "Pans the built-in photograph into a 1920x1080 interlaced clip, encodes it to\n"
     "qf25-demo.avi, decodes it and writes qf25-demo.png (original | decoded)."},
};

struct OptionRow {
    const char* name;
    char shortName;
    const char* valueName;  // nullptr for a flag
    unsigned commands;
    void (*apply)(Options& options, const std::string& value);
    const char* help;
};

int64_t ParseInteger(const std::string& option, const std::string& value, int64_t min, int64_t max)
{
    int64_t number = 0;
    const int base = value.rfind("0x", 0) == 0 ? 16 : 10;
    const char* first = value.c_str() + (base == 16 ? 2 : 0);
    const char* last = value.c_str() + value.size();
    const auto [end, error] = std::from_chars(first, last, number, base);
    if (error != std::errc() || end != last || first == last || number < min || number > max)
        FailUsage(option + ": '" + value + "' is not a number from " + std::to_string(min) + " to " +
                  std::to_string(max));
    return number;
}

FieldOrder ParseFieldOrder(const std::string& value)
{
    if (value == "tff")
        return FieldOrder::TOP_FIRST;
    if (value == "bff")
        return FieldOrder::BOTTOM_FIRST;
    if (value != "progressive")
        FailUsage("--field-order: '" + value + "' is not one of tff, bff, progressive");
    return FieldOrder::PROGRESSIVE;
}

double ParseSeconds(const std::string& value)
{
    double seconds = 0;
    const char* last = value.c_str() + value.size();
    const auto [end, error] = std::from_chars(value.c_str(), last, seconds, std::chars_format::fixed);
    if (error != std::errc() || end != last || value.empty() || !(seconds >= 0.1 && seconds <= 3600))
        FailUsage("--seconds: '" + value + "' is not a number of seconds from 0.1 to 3600");
    return seconds;
}

const OptionRow OPTIONS[] = {
    {"quality", 0, "N", COMMAND_ENCODE | COMMAND_BENCH,
     [](Options& o, const std::string& v) { o.quality = int(ParseInteger("--quality", v, MIN_QUALITY, MAX_QUALITY)); },
     "coding quality, 50..99 (default 95)"},
    {"pix", 0, "LAYOUT", COMMAND_ENCODE | COMMAND_DECODE | COMMAND_BENCH,
     [](Options& o, const std::string& v) {
         if (FindPixelLayout(v) == nullptr)
             FailUsage("--pix: '" + v + "' is not one of uyvy, bgr24, bgr32");
         o.pix = v;
     },
     "pixels the codec works on: uyvy (default), bgr24 or bgr32"},
    {"threads", 'j', "N", CODING,
     [](Options& o, const std::string& v) { o.threads = int(ParseInteger("--threads", v, 1, 256)); },
     "codec instances working at once (default: one per core)"},
    {"frames", 0, "N", COMMAND_ENCODE | COMMAND_DECODE | COMMAND_BENCH | COMMAND_DEMO,
     [](Options& o, const std::string& v) { o.frames = ParseInteger("--frames", v, 1, INT64_MAX); },
     "stop after N frames (bench, demo: length of the clip)"},
    {"size", 's', "WxH", COMMAND_ENCODE | COMMAND_BENCH, [](Options& o, const std::string& v) { o.size = v; },
     "raw video input: picture size"},
    {"pix-fmt", 0, "NAME", COMMAND_ENCODE | COMMAND_BENCH, [](Options& o, const std::string& v) { o.pixFmt = v; },
     "raw video input: FFmpeg pixel format (default yuv420p)"},
    {"pix-fmt", 0, "NAME", COMMAND_DECODE, [](Options& o, const std::string& v) { o.pixFmt = v; },
     "FFmpeg pixel format to write (default: the closest the output takes)"},
    {"rate", 'r', "FPS", COMMAND_ENCODE | COMMAND_BENCH, [](Options& o, const std::string& v) { o.rate = v; },
     "frame rate, e.g. 25 or 30000/1001, frames taken one for one (default: the input's)"},
    {"field-order", 0, "ORDER", COMMAND_ENCODE,
     [](Options& o, const std::string& v) { o.fieldOrder = ParseFieldOrder(v); },
     "tff, bff or progressive: what the pictures are (default: what the input says, else tff)"},
    {"in-format", 0, "NAME", COMMAND_ENCODE | COMMAND_DECODE | COMMAND_INFO | COMMAND_BENCH,
     [](Options& o, const std::string& v) { o.inputFormat = v; }, "FFmpeg demuxer for IN (default: guessed)"},
    {"format", 'f', "NAME", COMMAND_ENCODE | COMMAND_DECODE, [](Options& o, const std::string& v) { o.format = v; },
     "FFmpeg muxer for OUT (default: from its name)"},
    {"crop", 0, nullptr, COMMAND_ENCODE | COMMAND_BENCH, [](Options& o, const std::string&) { o.crop = true; },
     "drop right-hand columns to a width that is a multiple of 16"},
    {"pad", 0, nullptr, COMMAND_ENCODE | COMMAND_BENCH, [](Options& o, const std::string&) { o.pad = true; },
     "repeat the last column up to a width that is a multiple of 16"},
    {"codec", 'c', "NAME", COMMAND_DECODE, [](Options& o, const std::string& v) { o.codec = v; },
     "FFmpeg encoder for OUT, e.g. ffv1 (default: lossless or uncompressed)"},
    {"no-audio", 0, nullptr, COMMAND_ENCODE | COMMAND_DECODE, [](Options& o, const std::string&) { o.noAudio = true; },
     "leave the sound out (-an)"},
    {"audio-codec", 0, "NAME", COMMAND_ENCODE | COMMAND_DECODE,
     [](Options& o, const std::string& v) { o.audioCodec = v; },
     "FFmpeg encoder for the sound (-c:a; default: copied, or PCM or FLAC where the output does not hold it)"},
    {"no-streams", 0, nullptr, COMMAND_ENCODE | COMMAND_DECODE,
     [](Options& o, const std::string&) { o.noStreams = true; },
     "the coded video alone: no sound, subtitles or data (the tags are kept)"},
    {"skip-damaged", 0, nullptr, COMMAND_DECODE, [](Options& o, const std::string&) { o.skipDamaged = true; },
     "leave damaged frames out instead of repeating the last good one"},
    {"verify", 0, nullptr, COMMAND_INFO, [](Options& o, const std::string&) { o.verify = true; },
     "decode every frame and report the damaged ones"},
    {"seconds", 0, "S", COMMAND_BENCH, [](Options& o, const std::string& v) { o.seconds = ParseSeconds(v); },
     "time for each measurement, 0.1 to 3600 (default 2; 1 with --peers)"},
    {"peers", 0, nullptr, COMMAND_BENCH, [](Options& o, const std::string&) { o.peers = true; },
     "also code the clip with libjpeg-turbo, mjpeg, dnxhd, speedhq, ProRes and CineForm"},
    {"quick", 0, nullptr, COMMAND_BENCH, [](Options& o, const std::string&) { o.quick = true; },
     "with --peers: one setting of each peer, 6 frames, at most 0.15 s per measurement"},
    {"out", 'o', "DIR", COMMAND_DEMO, [](Options& o, const std::string& v) { o.outDir = v; },
     "directory for qf25-demo.avi and qf25-demo.png (default: the current one)"},
    {"cpumask", 0, "MASK", CODING,
     [](Options& o, const std::string& v) {
         o.cpuMask = uint32_t(ParseInteger("--cpumask", v, 0, UINT32_MAX));
         o.cpuMaskSet = true;
     },
     "instruction sets the codec may use (0: plain C++ only)"},
    {"quiet", 'q', nullptr, CODING, [](Options& o, const std::string&) { o.quiet = true; },
     "no progress line and no summary"},
    {"verbose", 'v', nullptr, CODING, [](Options& o, const std::string&) { o.verbose = true; },
     "also show FFmpeg's own messages"},
    {"help", 'h', nullptr, CODING, [](Options& o, const std::string&) { o.help = true; }, "show this help"},
};

// FFmpeg's spellings of options users bring along.
const std::pair<const char*, const char*> ALIASES[] = {{"-an", "--no-audio"}, {"-c:a", "--audio-codec"}};

const CommandRow* FindCommand(const std::string& name)
{
    for (const CommandRow& command : COMMANDS) {
        if (name == command.name)
            return &command;
    }
    return nullptr;
}

const OptionRow* FindOption(const std::string& argument, unsigned commandBit)
{
    const bool longForm = argument.rfind("--", 0) == 0;
    for (const OptionRow& option : OPTIONS) {
        if (!(option.commands & commandBit))
            continue;
        if (longForm ? argument.substr(2) == option.name : argument.size() == 2 && argument[1] == option.shortName)
            return &option;
    }
    return nullptr;
}

}  // namespace

Options ParseOptions(int argc, const char* const* argv)
{
    Options options;
    if (argc < 2)
        FailUsage("no command given; try 'qf25 --help'");
    options.command = argv[1];
    const CommandRow* command = FindCommand(options.command);
    if (command == nullptr)
        FailUsage("unknown command '" + options.command + "'; try 'qf25 --help'");
    options.commandBit = command->bit;

    for (int i = 2; i < argc; ++i) {
        std::string argument = argv[i];
        for (const auto& [alias, name] : ALIASES) {
            if (argument == alias)
                argument = name;
        }
        if (argument.size() < 2 || argument[0] != '-') {
            options.files.push_back(argument);
            continue;
        }
        std::string value;
        bool hasValue = false;
        const size_t equals = argument.find('=');
        if (argument.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = argument.substr(equals + 1);
            argument.resize(equals);
            hasValue = true;
        }
        const OptionRow* option = FindOption(argument, command->bit);
        if (option == nullptr)
            FailUsage(options.command + ": unknown option " + argument + "; try 'qf25 " + options.command +
                      " --help'");
        if (option->valueName != nullptr && !hasValue) {
            if (i + 1 == argc)
                FailUsage(argument + " needs a value (" + option->valueName + ")");
            value = argv[++i];
        } else if (option->valueName == nullptr && hasValue) {
            FailUsage(argument + " takes no value");
        }
        option->apply(options, value);
    }
    if (options.help)
        return options;
    const int files = int(options.files.size());
    if (files < command->minFiles || files > command->maxFiles)
        FailUsage(std::string("usage: ") + command->usage);
    if (options.crop && options.pad)
        FailUsage("--crop and --pad exclude each other");
    return options;
}

std::string CommandHelp(const std::string& name)
{
    const CommandRow& command = *FindCommand(name);
    std::string text = std::string("usage: ") + command.usage + "\n\n" + command.summary + "\n\noptions:\n";
    for (const OptionRow& option : OPTIONS) {
        if (!(option.commands & command.bit))
            continue;
        std::string left = "  ";
        left += option.shortName != 0 ? std::string("-") + option.shortName + ", " : "    ";
        left += std::string("--") + option.name;
        if (option.valueName != nullptr)
            left += std::string(" ") + option.valueName;
        left.resize(std::max<size_t>(left.size() + 2, 28), ' ');
        text += left + option.help + "\n";
    }
    return text;
}

int WorkerCount(const Options& options)
{
    if (options.threads > 0)
        return options.threads;
    return std::max(1, int(std::thread::hardware_concurrency()));
}

std::string GeneralHelp()
{
    std::string text = "usage: qf25 COMMAND [options] [files]\n\ncommands:\n";
    for (const CommandRow& command : COMMANDS)
        text += std::string("  ") + command.usage + "\n";
    text += "  qf25 --version\n";
    text += "\n'qf25 COMMAND --help' describes a command and its options; 'man qf25' has the rest.\n"
            "Exit status: 0 done, 1 failed, 2 bad command line, 3 damaged frames or sound found, 130 interrupted.\n";
    return text;
}
