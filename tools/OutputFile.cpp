// SPDX-License-Identifier: BSD-2-Clause
#include "OutputFile.h"

#include "ToolError.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

bool SameFile(const std::string& a, const std::string& b)
{
    struct stat first = {};
    struct stat second = {};
    return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

std::string TemporaryName(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return directory + "." + name + ".qf25-" + std::to_string(getpid()) + ".part";
}

}  // namespace

bool IsImageSequence(const std::string& path)
{
    return path.find('%') != std::string::npos;
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : path(std::move(other.path)), writePath(std::move(other.writePath)), committed(other.committed)
{
    other.committed = true;
}

OutputFile::~OutputFile()
{
    if (!committed && writePath != path)
        std::remove(writePath.c_str());
}

void RefuseInputAsOutput(const std::string& path, const std::vector<std::string>& inputs)
{
    for (const std::string& input : inputs) {
        if (input != "-" && (input == path || SameFile(input, path)))
            Fail(path, "is also the input; choose another output name");
    }
}

OutputFile PrepareOutput(const std::string& path, const std::vector<std::string>& inputs)
{
    RefuseInputAsOutput(path, inputs);
    OutputFile output;
    output.path = path;
    output.writePath = path == "-" || IsImageSequence(path) ? path : TemporaryName(path);
    return output;
}

void CommitOutput(OutputFile& output)
{
    if (output.writePath != output.path && std::rename(output.writePath.c_str(), output.path.c_str()) != 0)
        Fail(output.path, std::string("cannot rename the finished file into place: ") + std::strerror(errno));
    output.committed = true;
}
