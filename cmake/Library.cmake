# SPDX-License-Identifier: BSD-2-Clause
# The codec as hosts load it, from the same sources as qf25core: build/libqf25.so
# natively, qf25.dll when cross-built for Windows. Only DriverProc and the QFC_
# functions are exported.

set_target_properties(qf25core PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)

if(WIN32)
    enable_language(RC)
    # The exports are stdcall names with their decoration on 32-bit x86;
    # 64-bit Windows has one calling convention and no decoration.
    set(QF25_DEF ${CMAKE_CURRENT_SOURCE_DIR}/driver/qf25.def)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${QF25_DEF})
        file(READ ${QF25_DEF} QF25_DEF_TEXT)
        string(REGEX REPLACE " = [A-Za-z_]+@[0-9]+" "" QF25_DEF_TEXT "${QF25_DEF_TEXT}")
        set(QF25_DEF ${CMAKE_CURRENT_BINARY_DIR}/qf25.def)
        file(WRITE ${QF25_DEF} "${QF25_DEF_TEXT}")
    endif()
    add_library(qf25 SHARED ${QF25_DEF} ${CMAKE_CURRENT_SOURCE_DIR}/driver/qf25.rc)
    set_target_properties(qf25 PROPERTIES PREFIX "" LINKER_LANGUAGE CXX)
    target_compile_definitions(qf25 PRIVATE
        QF25_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
        QF25_VERSION_MINOR=${PROJECT_VERSION_MINOR}
        QF25_VERSION_PATCH=${PROJECT_VERSION_PATCH})
    # No MinGW runtime DLL may travel with the codec: hosts load it alone.
    target_link_options(qf25 PRIVATE -static -static-libgcc -static-libstdc++)
    target_link_libraries(qf25 PRIVATE -Wl,--whole-archive qf25core -Wl,--no-whole-archive winmm user32)
    if(QF25_TESTS)
        add_subdirectory(${CMAKE_CURRENT_SOURCE_DIR}/tests/wine ${CMAKE_CURRENT_BINARY_DIR}/wine-hosts)
    endif()
else()
    set(QF25_EXPORT_MAP ${CMAKE_CURRENT_SOURCE_DIR}/cmake/qf25.map)
    add_library(qf25 SHARED ${QF25_EXPORT_MAP})
    set_target_properties(qf25 PROPERTIES LINKER_LANGUAGE CXX LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}
                                          LINK_DEPENDS ${QF25_EXPORT_MAP})
    target_link_options(qf25 PRIVATE -Wl,--version-script=${QF25_EXPORT_MAP} -Wl,--no-undefined)
    target_link_libraries(qf25 PRIVATE -Wl,--whole-archive qf25core -Wl,--no-whole-archive Threads::Threads)
endif()
target_include_directories(qf25 INTERFACE $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/include>)
if(NOT WIN32)
    include(${CMAKE_CURRENT_SOURCE_DIR}/cmake/Install.cmake)
endif()
