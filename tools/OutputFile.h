// SPDX-License-Identifier: BSD-2-Clause
// Output files appear complete or not at all: everything is written under a
// temporary name in the same directory and renamed at the end. Standard
// output and numbered image sequences are written in place.
#pragma once

#include <string>
#include <vector>

struct OutputFile {
    std::string path;       // the name the user gave
    std::string writePath;  // where the data goes until it is committed
    bool committed = false;

    OutputFile() = default;
    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&&) = delete;
    OutputFile(const OutputFile&) = delete;
    ~OutputFile();  // removes an uncommitted temporary file
};

// Refuses to write over any of `inputs`.
void RefuseInputAsOutput(const std::string& path, const std::vector<std::string>& inputs);
OutputFile PrepareOutput(const std::string& path, const std::vector<std::string>& inputs);
void CommitOutput(OutputFile& output);
bool IsImageSequence(const std::string& path);
