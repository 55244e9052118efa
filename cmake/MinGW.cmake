# SPDX-License-Identifier: BSD-2-Clause
# Cross-building the Windows DLL with Debian's MinGW-w64. The including
# toolchain file names the target through QF25_MINGW_PREFIX and
# CMAKE_SYSTEM_PROCESSOR.
set(CMAKE_SYSTEM_NAME Windows)

# The win32 thread model needs no winpthread; the code uses no std threads.
find_program(CMAKE_C_COMPILER NAMES ${QF25_MINGW_PREFIX}-gcc-win32 ${QF25_MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${QF25_MINGW_PREFIX}-g++-win32 ${QF25_MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${QF25_MINGW_PREFIX}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${QF25_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
