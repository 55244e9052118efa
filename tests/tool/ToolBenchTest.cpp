// `qf25 bench` on the photograph clip: every way of decoding gets its row,
// and --peers gives a full table per layout whose codecs all give back the
// pictures they coded.
#include "ToolTestSupport.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using ToolBench = PhotoClipTest;

// The numbers of the table row that starts with `name`, in the table that
// starts at `table`: bits per pixel, PSNR and the four speeds.
std::vector<double> RowNumbers(const std::string& out, size_t table, const std::string& name)
{
    const size_t row = out.find("\n" + name + " ", table);
    if (row == std::string::npos || out.find("\n\n", table) < row)
        return {};
    constexpr size_t NUMBERS_COLUMN = 35;  // after the codec's name and settings
    std::istringstream line(out.substr(row + 1 + NUMBERS_COLUMN, out.find('\n', row + 1) - row - 1 - NUMBERS_COLUMN));
    std::vector<double> numbers;
    for (double number; line >> number;)
        numbers.push_back(number);
    return numbers;
}

TEST_F(ToolBench, EveryWayOfDecodingHasItsRow)
{
    const ProgramResult bench = RunQf25(Join({"bench", clip, "--seconds", "0.1", "--frames", "2", "-j", "2"}, RAW_CLIP));
    ASSERT_EQ(bench.exitCode, 0) << bench.err;
    for (const char* row : {"\nencode          1 ", "\nencode          2 ", "\ndecode          1 ",
                            "\ndecode          4 ", "\ndecode          2 ", "\n2 instances against one thread: encode "})
        EXPECT_NE(bench.out.find(row), std::string::npos) << row << bench.out;
    EXPECT_NE(bench.out.find(", PSNR 4"), std::string::npos) << bench.out;
}

TEST_F(ToolBench, PeersGetATablePerLayoutAndGiveBackWhatTheyCoded)
{
    const ProgramResult bench =
        RunQf25(Join({"bench", clip, "--peers", "--seconds", "0.1", "--frames", "2", "-j", "2"}, RAW_CLIP));
    ASSERT_EQ(bench.exitCode, 0) << bench.err;
    EXPECT_NE(bench.out.find("only the codec call\n  is timed"), std::string::npos) << bench.out;
    for (const char* layout : {"\n720x486 uyvy\n", "\n720x486 bgr32\n"}) {
        const size_t table = bench.out.find(layout);
        ASSERT_NE(table, std::string::npos) << layout << bench.out;
        for (const char* codec : {"qf25", "libjpeg-turbo", "mjpeg", "dnxhd", "dnxhd-sq", "speedhq"}) {
            const std::vector<double> numbers = RowNumbers(bench.out, table, codec);
            ASSERT_EQ(numbers.size(), 6u) << codec << layout << bench.out;
            EXPECT_GT(numbers[1], 34.0) << codec << layout << "PSNR";
            for (size_t i = 2; i < numbers.size(); ++i)
                EXPECT_GT(numbers[i], 0.0) << codec << layout << "column " << i;
            if (std::string(codec) != "qf25") {
                EXPECT_EQ(RowNumbers(bench.out, table, std::string("qf25/") + codec).size(), 4u) << codec << layout;
            }
        }
        const size_t workers =
            bench.out.find("\nqf25 decoding one frame at a time on one instance's 4 workers: ", table);
        ASSERT_NE(workers, std::string::npos);
        // Below it the quality sweep, rising in rate, and every peer's equal-quality line.
        double lastRate = 0;
        for (const int quality : {50, 75, 90, 95, 99}) {
            const size_t row = bench.out.find("\nqf25           quality " + std::to_string(quality) + " ", workers);
            ASSERT_NE(row, std::string::npos) << quality << layout << bench.out;
            const std::vector<double> numbers = RowNumbers(bench.out, row, "qf25");
            ASSERT_EQ(numbers.size(), 4u) << quality << layout << bench.out;
            EXPECT_GT(numbers[0], lastRate) << quality << layout;
            lastRate = numbers[0];
        }
        for (const char* peer : {"libjpeg-turbo", "mjpeg", "dnxhd", "dnxhd-sq", "speedhq"})
            EXPECT_NE(bench.out.find(std::string("\nqf25/") + peer + " on one thread at its bitrate: ", workers),
                      std::string::npos)
                << peer << layout << bench.out;
    }
}

}  // namespace
