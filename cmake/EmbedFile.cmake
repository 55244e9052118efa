# SPDX-License-Identifier: BSD-2-Clause
# Writes a C++ file holding INPUT's bytes as the array SYMBOL and its length
# as SYMBOL_SIZE, so that a program carries the file wherever it is copied.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR bytes "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," array "${hex}")
file(WRITE "${OUTPUT}"
    "#include <cstddef>\n"
    "extern const unsigned char ${SYMBOL}[] = {${array}};\n"
    "extern const size_t ${SYMBOL}_SIZE = ${bytes};\n")
