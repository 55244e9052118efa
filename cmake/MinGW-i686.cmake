# SPDX-License-Identifier: BSD-2-Clause
# The 32-bit Windows DLL that hosts load: i686 with MinGW-w64.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QF25_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)
