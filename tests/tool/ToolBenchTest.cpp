// SPDX-License-Identifier: BSD-2-Clause
// `qf25 bench` on the photograph clip: every way of decoding gets its row,
// and --peers gives a full table per layout whose codecs all give back the
// pictures they coded, and QF25's speed ratios against every peer.
#include "ToolTestSupport.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using ToolBench = PhotoClipTest;

// The fields of the first row after `from` that starts with `name`, up to
// the end of its table: bits per pixel, PSNR, SSIM and the four speeds, or
// in the block below the table the eight speed ratios ("-" where none) and "|".
std::vector<std::string> RowFields(const std::string& out, size_t from, const std::string& name)
{
    const size_t row = out.find("\n" + name + " ", from);
    if (row == std::string::npos || out.find("\n\n", from) < row)
        return {};
    constexpr size_t FIELDS_COLUMN = 35;  // after the codec's name and settings
    std::istringstream line(out.substr(row + 1 + FIELDS_COLUMN, out.find('\n', row + 1) - row - 1 - FIELDS_COLUMN));
    std::vector<std::string> fields;
    for (std::string field; line >> field;)
        fields.push_back(field);
    return fields;
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
        // qf25 at every quality, rising in rate; each peer at its lowest and highest level.
        double lastRate = 0;
        for (const char* row : {"qf25           quality 50", "qf25           quality 75", "qf25           quality 90",
                                "qf25           quality 95", "qf25           quality 99",
                                "libjpeg-turbo  quality 50, 4:2:2", "libjpeg-turbo  quality 99, 4:2:2",
                                "mjpeg          -q:v 10, yuvj422p", "mjpeg          -q:v 2, yuvj422p", "dnxhd ",
                                "dnxhd-sq ", "speedhq "}) {
            const std::vector<std::string> fields = RowFields(bench.out, table, row);
            ASSERT_EQ(fields.size(), 7u) << row << layout << bench.out;
            std::vector<double> numbers;
            for (const std::string& field : fields)
                numbers.push_back(std::stod(field));
            EXPECT_GT(numbers[1], 25.0) << row << layout << "PSNR";
            EXPECT_GT(numbers[2], 0.8) << row << layout << "SSIM";
            EXPECT_LT(numbers[2], 1.0) << row << layout << "SSIM";
            for (size_t i = 3; i < numbers.size(); ++i)
                EXPECT_GT(numbers[i], 0.0) << row << layout << "column " << i;
            if (std::string(row).starts_with("qf25")) {
                EXPECT_GT(numbers[0], lastRate) << row << layout;
                lastRate = numbers[0];
            }
        }
        const size_t workers = bench.out.find("\nqf25 quality 95 decoding one frame at a time on one instance's 4 "
                                              "workers: ",
                                              table);
        ASSERT_NE(workers, std::string::npos);
        const size_t ratios = bench.out.find("\nqf25/peer, qf25 at the peer's bitrate ", workers);
        ASSERT_NE(ratios, std::string::npos);
        for (const char* peer : {"libjpeg-turbo", "mjpeg", "dnxhd", "dnxhd-sq", "speedhq", "prores"}) {
            const std::vector<std::string> fields = RowFields(bench.out, ratios, peer);
            ASSERT_EQ(fields.size(), 9u) << peer << layout << bench.out;
            EXPECT_EQ(fields[4], "|") << peer << layout;
        }
    }
}

}  // namespace
