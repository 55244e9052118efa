# The 32-bit Windows DLL that hosts load: i686 with MinGW-w64.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QF25_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)
# msvcrt's malloc aligns 32-bit blocks to 8 bytes, yet GCC assumes 16 for a
# plain new: anything aligned to more than 8 must go through the aligned new.
set(CMAKE_CXX_FLAGS_INIT -faligned-new=8)
