// SPDX-License-Identifier: BSD-2-Clause
// Helpers for the qf25 command's tests: scratch directories, whole files,
// and running programs with their output captured.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <sys/types.h>

struct TempDir {
    std::string path;

    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string Path(const std::string& name) const { return path + "/" + name; }
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
std::vector<std::string> ListDirectory(const std::string& path);

struct ProgramResult {
    int exitCode = -1;  // 128 + signal number when a signal ended it
    std::string out;
    std::string err;
};

// Runs `arguments` (the program first) with standard input from `stdinPath`
// (or /dev/null) and waits for it.
ProgramResult RunProgram(const std::vector<std::string>& arguments, const std::string& stdinPath = "");
ProgramResult RunQf25(const std::vector<std::string>& arguments, const std::string& stdinPath = "");

// A program that reads standard input from a pipe we write to.
struct RunningProgram {
    pid_t pid = -1;
    int stdinPipe = -1;
    std::string outPath;
    std::string errPath;
};
RunningProgram StartQf25(const std::vector<std::string>& arguments, const TempDir& dir);
bool WriteToProgram(RunningProgram& program, const std::string& bytes);
ProgramResult WaitForProgram(RunningProgram& program);

// Every test of this fixture gets its own directory holding clip.uyvy, eight
// frames of two photographs panned across a 720x486 picture (raw UYVY at
// 25 frames/s, made at build time), and clip.avi, the clip as `qf25 encode`
// writes it.
class PhotoClipTest : public ::testing::Test {
protected:
    static constexpr int WIDTH = 720;
    static constexpr int HEIGHT = 486;
    static constexpr int FRAMES = 8;
    static constexpr size_t FRAME_BYTES = size_t(WIDTH) * HEIGHT * 2;
    static const std::vector<std::string> RAW_CLIP;  // how qf25 reads clip.uyvy

    TempDir dir;
    std::string clip = dir.Path("clip.uyvy");
    std::string avi = dir.Path("clip.avi");

    void SetUp() override;
    void Encode(const std::string& out, const std::vector<std::string>& extra = {});
    // Decodes with qf25 to raw UYVY and returns the bytes.
    std::string DecodeRaw(const std::string& in, const std::vector<std::string>& extra = {});
};

std::vector<std::string> Join(std::vector<std::string> first, const std::vector<std::string>& second);

// ffprobe's answer for one stream entry, e.g. "codec_tag_string"; counts packets.
std::string ProbeStream(const std::string& path, const std::string& entry);
