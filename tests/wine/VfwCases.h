// SPDX-License-Identifier: BSD-2-Clause
// The pictures both sides of the Windows test code: one line per case in
// cases.txt of the case directory, shared by the native reference program
// and the Windows host so that they read and write the same files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct VfwCase {
    std::string name;       // files: name.in, name.expected.qf25/.dec, name.wine.qf25/.dec
    std::string layout;     // UYVY, BGR24 or BGR32
    int32_t width;
    int32_t height;         // picture lines; the header carries -height when topDown
    bool topDown;
    int32_t hostQuality;    // 0..10000, sent with ICM_SETQUALITY
};

constexpr char CASE_LIST[] = "cases.txt";

inline uint16_t BitCountOf(const std::string& layout)
{
    return layout == "UYVY" ? 16 : layout == "BGR24" ? 24 : 32;
}

inline uint32_t CompressionOf(const std::string& layout)
{
    return layout == "UYVY" ? uint32_t('U') | uint32_t('Y') << 8 | uint32_t('V') << 16 | uint32_t('Y') << 24 : 0;
}

inline size_t PictureBytesOf(const VfwCase& c)
{
    return size_t(BitCountOf(c.layout) / 8) * uint32_t(c.width) * uint32_t(c.height);
}

// The case's picture as a bitmap header; Header is the platform's
// BITMAPINFOHEADER on either side.
template <typename Header>
Header UncompressedHeader(const VfwCase& c)
{
    Header header = {};
    header.biSize = sizeof header;
    header.biWidth = c.width;
    header.biHeight = c.topDown ? -c.height : c.height;
    header.biPlanes = 1;
    header.biBitCount = BitCountOf(c.layout);
    header.biCompression = CompressionOf(c.layout);
    header.biSizeImage = decltype(header.biSizeImage)(PictureBytesOf(c));
    return header;
}

inline std::string CasePath(const std::string& directory, const std::string& name, const char* suffix)
{
    return directory + "/" + name + suffix;
}

inline std::vector<VfwCase> ReadCases(const std::string& directory)
{
    std::vector<VfwCase> cases;
    FILE* file = std::fopen((directory + "/" + CASE_LIST).c_str(), "r");
    if (!file)
        return cases;
    char name[128], layout[16];
    int width, height, topDown, quality;
    while (std::fscanf(file, "%127s %15s %d %d %d %d", name, layout, &width, &height, &topDown, &quality) == 6)
        cases.push_back({name, layout, width, height, topDown != 0, quality});
    std::fclose(file);
    return cases;
}

inline bool WriteCases(const std::string& directory, const std::vector<VfwCase>& cases)
{
    FILE* file = std::fopen((directory + "/" + CASE_LIST).c_str(), "w");
    if (!file)
        return false;
    for (const VfwCase& c : cases)
        std::fprintf(file, "%s %s %d %d %d %d\n", c.name.c_str(), c.layout.c_str(), int(c.width), int(c.height),
                     int(c.topDown), int(c.hostQuality));
    return std::fclose(file) == 0;
}

inline bool ReadBytes(const std::string& path, std::vector<uint8_t>* bytes)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    bytes->clear();
    uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes->insert(bytes->end(), chunk, chunk + got);
    std::fclose(file);
    return true;
}

inline bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}
