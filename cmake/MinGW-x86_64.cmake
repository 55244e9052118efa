# SPDX-License-Identifier: BSD-2-Clause
# The same DLL for 64-bit Windows, where 64-bit Wine can run it.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QF25_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)
