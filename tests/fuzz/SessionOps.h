// SPDX-License-Identifier: BSD-2-Clause
// The operations of the session targets, by their opcode (the first byte of
// each operation). The seed writer spells its sessions with the same names.
#pragma once

#include <cstdint>

enum DriverOp : uint8_t {
    OP_LIBRARY,
    OP_OPEN,
    OP_CLOSE,
    OP_GETINFO,
    OP_QUALITY,
    OP_COMPRESS_QUERY,
    OP_COMPRESS_GET_FORMAT,
    OP_COMPRESS_GET_SIZE,
    OP_COMPRESS_BEGIN,
    OP_COMPRESS,
    OP_COMPRESS_END,
    OP_DECOMPRESS_QUERY,
    OP_DECOMPRESS_GET_FORMAT,
    OP_DECOMPRESS_BEGIN,
    OP_DECOMPRESS,
    OP_DECOMPRESS_END,
    OP_OTHER,
    OP_CLOSE_WHILE_COMPRESSING,
    DRIVER_OP_COUNT
};

enum FieldOp : uint8_t {
    FIELD_BEGIN,
    FIELD_END,
    FIELD_SET_QUALITY,
    FIELD_SET_SLICE_THREADS,
    FIELD_COMPRESS,
    FIELD_DECOMPRESS
};

// A field session's opcode byte, modulo 16: the operations by their own
// number, and then the field calls again. A Begin starts four threads, which
// costs more than coding a small field, so a program mostly codes.
inline FieldOp FieldOpOf(uint8_t byte)
{
    static const FieldOp OPS[16] = {FIELD_BEGIN,      FIELD_END,        FIELD_SET_QUALITY, FIELD_SET_SLICE_THREADS,
                                    FIELD_COMPRESS,   FIELD_DECOMPRESS, FIELD_COMPRESS,    FIELD_DECOMPRESS,
                                    FIELD_COMPRESS,   FIELD_DECOMPRESS, FIELD_COMPRESS,    FIELD_DECOMPRESS,
                                    FIELD_COMPRESS,   FIELD_DECOMPRESS, FIELD_SET_QUALITY, FIELD_DECOMPRESS};
    return OPS[byte % 16];
}
