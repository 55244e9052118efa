// SPDX-License-Identifier: BSD-2-Clause
// Little-endian bytes of RIFF chunks and lists, built in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct RiffBytes {
    std::vector<uint8_t> data;

    void U8(uint32_t value) { data.push_back(uint8_t(value)); }
    void U16(uint32_t value)
    {
        U8(value);
        U8(value >> 8);
    }
    void U32(uint32_t value)
    {
        U16(value);
        U16(value >> 16);
    }
    void U64(uint64_t value)
    {
        U32(uint32_t(value));
        U32(uint32_t(value >> 32));
    }
    void Fourcc(const char* tag)
    {
        for (int i = 0; i < 4; ++i)
            U8(uint8_t(tag[i]));
    }
    void Append(const uint8_t* bytes, size_t count) { data.insert(data.end(), bytes, bytes + count); }
    void Zeros(size_t count) { data.insert(data.end(), count, 0); }
    // Starts a chunk or list and returns where its size goes.
    size_t Open(const char* tag, const char* listType = nullptr)
    {
        Fourcc(tag);
        const size_t sizeAt = data.size();
        U32(0);
        if (listType != nullptr)
            Fourcc(listType);
        return sizeAt;
    }
    void Close(size_t sizeAt)
    {
        const uint32_t size = uint32_t(data.size() - sizeAt - 4);
        for (int i = 0; i < 4; ++i)
            data[sizeAt + size_t(i)] = uint8_t(size >> (8 * i));
        if (size % 2 != 0)
            U8(0);
    }
    // A chunk holding a text and its terminating zero.
    void Text(const char* tag, const std::string& text)
    {
        const size_t at = Open(tag);
        Append(reinterpret_cast<const uint8_t*>(text.c_str()), text.size() + 1);
        Close(at);
    }
};
