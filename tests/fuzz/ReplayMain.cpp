// SPDX-License-Identifier: BSD-2-Clause
// The fuzz targets without the fuzzer: runs every file named on the command
// line, and every file in every directory named, through the target once,
// in name order. Each input is handed over in a buffer of exactly its size,
// as the fuzzer does. A failed check ends the process as the target's abort
// does; an empty corpus is an error too, so that a wrong path cannot pass.
//
//     <target> FILE|DIRECTORY...
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> InputsOf(const fs::path& argument)
{
    if (!fs::is_directory(argument))
        return {argument};
    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(argument)) {
        if (entry.is_regular_file())
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool Replay(const fs::path& file)
{
    std::ifstream stream(file, std::ios::binary);
    if (!stream)
        return false;
    const std::vector<char> bytes{std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
    const auto copy = std::make_unique<uint8_t[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), copy.get());
    LLVMFuzzerTestOneInput(copy.get(), bytes.size());
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    size_t replayed = 0;
    for (int i = 1; i < argc; ++i) {
        for (const fs::path& file : InputsOf(argv[i])) {
            if (!Replay(file)) {
                std::fprintf(stderr, "cannot read %s\n", file.string().c_str());
                return 1;
            }
            ++replayed;
        }
    }
    std::printf("%llu inputs replayed\n", static_cast<unsigned long long>(replayed));
    return replayed == 0 ? 1 : 0;
}
