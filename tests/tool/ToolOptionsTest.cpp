// SPDX-License-Identifier: BSD-2-Clause
#include "Options.h"
#include "ToolError.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

Options Parse(std::vector<const char*> arguments)
{
    arguments.insert(arguments.begin(), "qf25");
    return ParseOptions(int(arguments.size()), arguments.data());
}

// The message of the usage failure that parsing `arguments` gives.
std::string UsageFailure(std::vector<const char*> arguments)
{
    try {
        Parse(std::move(arguments));
    } catch (const ToolError& error) {
        EXPECT_EQ(error.exitCode, EXIT_USAGE);
        return error.message;
    }
    ADD_FAILURE() << "no failure";
    return "";
}

TEST(ToolOptions, ReadsFilesAndOptionsInAnyOrder)
{
    const Options options =
        Parse({"encode", "--quality", "60", "in.y4m", "-j", "3", "--pix=bgr32", "out.avi", "--crop", "-q"});
    EXPECT_EQ(options.commandBit, COMMAND_ENCODE);
    EXPECT_EQ(options.files, (std::vector<std::string>{"in.y4m", "out.avi"}));
    EXPECT_EQ(options.quality, 60);
    EXPECT_EQ(options.threads, 3);
    EXPECT_EQ(options.pix, "bgr32");
    EXPECT_TRUE(options.crop);
    EXPECT_TRUE(options.quiet);

    const Options decode = Parse({"decode", "-", "-", "--codec", "ffv1", "--skip-damaged", "--cpumask", "0x0"});
    EXPECT_EQ(decode.files, (std::vector<std::string>{"-", "-"}));
    EXPECT_EQ(decode.codec, "ffv1");
    EXPECT_TRUE(decode.skipDamaged);
    EXPECT_TRUE(decode.cpuMaskSet);
    EXPECT_EQ(decode.cpuMask, 0u);
    EXPECT_EQ(WorkerCount(decode), std::max(1, int(std::thread::hardware_concurrency())));
}

TEST(ToolOptions, BenchTakesPeersAndFractionsOfSeconds)
{
    const Options options = Parse({"bench", "--peers", "--seconds", "0.25"});
    EXPECT_TRUE(options.peers);
    EXPECT_DOUBLE_EQ(options.seconds, 0.25);
    EXPECT_DOUBLE_EQ(Parse({"bench", "--seconds=3600"}).seconds, 3600.0);
    for (const char* seconds : {"0.05", "3601", "1e3", "-1", "", "2s", "nan"})
        EXPECT_EQ(UsageFailure({"bench", "--seconds", seconds}),
                  "--seconds: '" + std::string(seconds) + "' is not a number of seconds from 0.1 to 3600");
    EXPECT_EQ(UsageFailure({"decode", "a", "b", "--peers"}), "decode: unknown option --peers; try 'qf25 decode --help'");
}

TEST(ToolOptions, HelpNeedsNoFiles)
{
    EXPECT_TRUE(Parse({"info", "--help"}).help);
    const std::string help = CommandHelp("decode");
    EXPECT_NE(help.find("usage: qf25 decode IN OUT"), std::string::npos);
    EXPECT_NE(help.find("--skip-damaged"), std::string::npos);
    EXPECT_EQ(help.find("--verify"), std::string::npos) << "options of other commands stay out";
}

TEST(ToolOptions, RefusesWhatItCannotUse)
{
    EXPECT_EQ(UsageFailure({}), "no command given; try 'qf25 --help'");
    EXPECT_EQ(UsageFailure({"squash"}), "unknown command 'squash'; try 'qf25 --help'");
    EXPECT_EQ(UsageFailure({"encode", "a", "b", "--verify"}),
              "encode: unknown option --verify; try 'qf25 encode --help'");
    EXPECT_EQ(UsageFailure({"encode", "a", "b", "--quality", "100"}), "--quality: '100' is not a number from 50 to 99");
    EXPECT_EQ(UsageFailure({"encode", "a", "b", "--quality", "9x"}), "--quality: '9x' is not a number from 50 to 99");
    EXPECT_EQ(UsageFailure({"encode", "a", "b", "--quality"}), "--quality needs a value (N)");
    EXPECT_EQ(UsageFailure({"encode", "a", "b", "--pix", "yuy2"}), "--pix: 'yuy2' is not one of uyvy, bgr24, bgr32");
    EXPECT_EQ(UsageFailure({"encode", "a", "b", "--crop=1"}), "--crop takes no value");
    EXPECT_EQ(UsageFailure({"encode", "a", "b", "--crop", "--pad"}), "--crop and --pad exclude each other");
    EXPECT_EQ(UsageFailure({"encode", "a"}), "usage: qf25 encode IN OUT [options]");
    EXPECT_EQ(UsageFailure({"demo", "extra"}), "usage: qf25 demo [options]");
}

}  // namespace
