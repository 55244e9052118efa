// SPDX-License-Identifier: BSD-2-Clause
#include "ToolTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

std::vector<char*> ArgumentVector(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    return argv;
}

pid_t Spawn(const std::vector<std::string>& arguments, int stdinFd, const std::string& outPath,
            const std::string& errPath)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, stdinFd, STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv = ArgumentVector(arguments);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(spawned, 0) << "cannot start " << arguments[0];
    return spawned == 0 ? pid : -1;
}

int Wait(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

TempDir::TempDir()
{
    std::string pattern = (std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "/tmp");
    pattern += "/qf25-tool-test-XXXXXX";
    path = mkdtemp(pattern.data()) != nullptr ? pattern : "";
    EXPECT_FALSE(path.empty()) << "cannot make a scratch directory";
}

TempDir::~TempDir()
{
    for (const std::string& name : ListDirectory(path))
        unlink(Path(name).c_str());
    rmdir(path.c_str());
}

std::string ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

bool FileExists(const std::string& path)
{
    struct stat info = {};
    return stat(path.c_str(), &info) == 0;
}

std::vector<std::string> ListDirectory(const std::string& path)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(path.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

ProgramResult RunProgram(const std::vector<std::string>& arguments, const std::string& stdinPath)
{
    TempDir capture;
    const int input = open(stdinPath.empty() ? "/dev/null" : stdinPath.c_str(), O_RDONLY);
    EXPECT_GE(input, 0) << stdinPath;
    const pid_t pid = Spawn(arguments, input, capture.Path("out"), capture.Path("err"));
    close(input);
    ProgramResult result;
    if (pid > 0)
        result.exitCode = Wait(pid);
    result.out = ReadFile(capture.Path("out"));
    result.err = ReadFile(capture.Path("err"));
    return result;
}

ProgramResult RunQf25(const std::vector<std::string>& arguments, const std::string& stdinPath)
{
    std::vector<std::string> command = {QF25_COMMAND};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return RunProgram(command, stdinPath);
}

RunningProgram StartQf25(const std::vector<std::string>& arguments, const TempDir& dir)
{
    RunningProgram program;
    int fds[2] = {-1, -1};
    EXPECT_EQ(pipe(fds), 0);
    fcntl(fds[1], F_SETFD, FD_CLOEXEC);
    program.outPath = dir.Path("program.out");
    program.errPath = dir.Path("program.err");
    std::vector<std::string> command = {QF25_COMMAND};
    command.insert(command.end(), arguments.begin(), arguments.end());
    program.pid = Spawn(command, fds[0], program.outPath, program.errPath);
    close(fds[0]);
    program.stdinPipe = fds[1];
    return program;
}

bool WriteToProgram(RunningProgram& program, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = write(program.stdinPipe, bytes.data() + done, bytes.size() - done);
        if (written <= 0)
            return false;
        done += size_t(written);
    }
    return true;
}

ProgramResult WaitForProgram(RunningProgram& program)
{
    if (program.stdinPipe >= 0)
        close(program.stdinPipe);
    program.stdinPipe = -1;
    ProgramResult result;
    result.exitCode = Wait(program.pid);
    result.out = ReadFile(program.outPath);
    result.err = ReadFile(program.errPath);
    return result;
}

std::string ProbeStream(const std::string& path, const std::string& entry)
{
    const ProgramResult probe = RunProgram({QF25_FFPROBE, "-v", "error", "-select_streams", "v:0", "-count_packets",
                                            "-show_entries", "stream=" + entry, "-of", "default=nw=1:nk=1", path});
    EXPECT_EQ(probe.exitCode, 0) << probe.err;
    std::string value = probe.out;
    while (!value.empty() && (value.back() == '\n' || value.back() == '\r'))
        value.pop_back();
    return value;
}

const std::vector<std::string> PhotoClipTest::RAW_CLIP = {"--size", "720x486", "--pix-fmt", "uyvy422", "--rate", "25"};

std::vector<std::string> Join(std::vector<std::string> first, const std::vector<std::string>& second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

void PhotoClipTest::SetUp()
{
    const std::string frames = ReadFile(QF25_TEST_CLIP);
    ASSERT_EQ(frames.size(), FRAMES * FRAME_BYTES) << QF25_TEST_CLIP;
    WriteFile(clip, frames);
    Encode(avi);
}

void PhotoClipTest::Encode(const std::string& out, const std::vector<std::string>& extra)
{
    const ProgramResult encoded = RunQf25(Join(Join({"encode", "-q", clip, out}, RAW_CLIP), extra));
    ASSERT_EQ(encoded.exitCode, 0) << encoded.err;
}

std::string PhotoClipTest::DecodeRaw(const std::string& in, const std::vector<std::string>& extra)
{
    const std::string out = dir.Path("decoded.yuv");
    const ProgramResult decoded = RunQf25(Join({"decode", "-q", in, out}, extra));
    EXPECT_EQ(decoded.exitCode, 0) << decoded.err;
    return ReadFile(out);
}
