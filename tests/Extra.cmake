# SPDX-License-Identifier: BSD-2-Clause
# Tests beyond the GoogleTest binary: the public header as C, the include
# order of the layers, the exports of the native library, the installed tree,
# and the Windows DLL under Wine. `make` builds the DLL in
# ${CMAKE_BINARY_DIR}/win32 (and, where the compiler exists, a 64-bit twin in
# win64) before `make check` runs these.

# Built with qf25_tests, so that every build that runs the tests has them.
add_executable(qf25_public_header PublicHeaderTest.c)
target_link_libraries(qf25_public_header PRIVATE qf25)
set_target_properties(qf25_public_header PROPERTIES C_STANDARD 99 C_EXTENSIONS OFF)
target_compile_options(qf25_public_header PRIVATE -pedantic -Werror)
add_dependencies(qf25_tests qf25_public_header)
add_test(NAME PublicHeader COMMAND qf25_public_header)

add_test(NAME LayerOrder COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/check-layers.sh ${PROJECT_SOURCE_DIR})
add_test(NAME LicenceLines COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/check-spdx.sh ${PROJECT_SOURCE_DIR})

set(QF25_CHECK_EXPORTS ${CMAKE_CURRENT_SOURCE_DIR}/wine/check-exports.sh)
find_program(QF25_NM NAMES nm REQUIRED)
add_test(NAME LibraryExports COMMAND ${QF25_CHECK_EXPORTS} so ${QF25_NM} $<TARGET_FILE:qf25>)

# FFmpeg with the wrapper, as `make check` (build-ffmpeg.sh check) and, under
# AddressSanitizer, `make check-sanitizers` (build-ffmpeg.sh asan) build it.
# The checks that need the qf25 command run where it is built.
if(NOT QF25_SANITIZE OR QF25_SANITIZE MATCHES "address")
    set(command)
    if(QF25_TOOLS)
        set(command $<TARGET_FILE:qf25_command>)
    endif()
    add_test(NAME FfmpegWrapper COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/ffmpeg/run-ffmpeg-tests.sh
                                        ${CMAKE_BINARY_DIR}/ffmpeg-check ${CMAKE_CURRENT_SOURCE_DIR}/data/vectors ${command})
endif()

if(QF25_SANITIZE)
    return()
endif()

# The installed tree as other projects use it: staged, then linked through
# pkg-config and find_package(qf25).
if(QF25_TOOLS)
    add_test(NAME InstallConsumers COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/install/run-install-test.sh ${CMAKE_BINARY_DIR}
                                           ${PROJECT_VERSION} ${CMAKE_CURRENT_SOURCE_DIR}/data/vectors)
    # The source tarball and the Debian packages built from it, which `make
    # check` makes before the tests. The packages are installed on this
    # machine for a moment each: no other test runs meanwhile.
    add_test(NAME SourceTarball COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/install/check-dist.sh ${PROJECT_SOURCE_DIR}
                                        ${CMAKE_BINARY_DIR}/qf25-${PROJECT_VERSION}.tar.xz)
    add_test(NAME DebPackages COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/install/check-debs.sh ${CMAKE_BINARY_DIR}
                                      ${PROJECT_VERSION} ${CMAKE_CURRENT_SOURCE_DIR}/data/vectors)
    set_tests_properties(DebPackages PROPERTIES TIMEOUT 1200 RUN_SERIAL ON)
endif()

add_executable(qf25_vfw_reference wine/VfwReference.cpp)
target_link_libraries(qf25_vfw_reference PRIVATE qf25)
target_include_directories(qf25_vfw_reference PRIVATE ${CMAKE_SOURCE_DIR})
add_dependencies(qf25_tests qf25_vfw_reference)

# One Windows build: its export check, the processor probes, the VfW host,
# the AVIFile host, the DirectShow host, the field functions' host, the fuzz
# corpora and the unit tests under Wine, one prefix at a time. The prefix's
# server is started once before them and stopped after them. Arguments after
# `objdump` name a command that runs each step where that Wine works.
function(qf25_add_wine_tests arch objdump)
    set(windows ${CMAKE_BINARY_DIR}/${arch})
    set(run ${ARGN} ${CMAKE_CURRENT_SOURCE_DIR}/wine/run-wine-test.sh ${arch})
    add_test(NAME DllExports_${arch} COMMAND ${QF25_CHECK_EXPORTS} dll ${objdump} ${windows}/qf25.dll)
    add_test(NAME WineStart_${arch} COMMAND ${run} start ${windows})
    add_test(NAME WineStop_${arch} COMMAND ${run} stop ${windows})
    add_test(NAME WineProbes_${arch} COMMAND ${run} probe ${windows})
    add_test(NAME WineVfw_${arch} COMMAND ${run} vfw ${windows} $<TARGET_FILE:qf25_vfw_reference>
                                          ${CMAKE_CURRENT_SOURCE_DIR}/data/vectors)
    add_test(NAME WineFuzzReplay_${arch} COMMAND ${run} replay ${windows} ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/corpus)
    add_test(NAME WineFieldFunctions_${arch} COMMAND ${run} field ${windows})
    add_test(NAME WineUnitTests_${arch} COMMAND ${run} unit ${windows})
    set(tests WineProbes_${arch} WineVfw_${arch} WineFuzzReplay_${arch} WineFieldFunctions_${arch}
              WineUnitTests_${arch})
    # The AVI interchange and the DirectShow graph need the qf25 command, which
    # a build may leave out.
    if(QF25_TOOLS)
        add_test(NAME WineAvi_${arch} COMMAND ${run} avi ${windows} $<TARGET_FILE:qf25_command>
                                              ${CMAKE_CURRENT_SOURCE_DIR}/data/vectors)
        add_test(NAME WineDirectShow_${arch} COMMAND ${run} dshow ${windows} $<TARGET_FILE:qf25_command>
                                                     ${CMAKE_CURRENT_SOURCE_DIR}/data/vectors)
        list(APPEND tests WineAvi_${arch} WineDirectShow_${arch})
    endif()
    set_tests_properties(${tests} PROPERTIES FIXTURES_REQUIRED wine_${arch})
    set_tests_properties(WineStart_${arch} PROPERTIES FIXTURES_SETUP wine_${arch})
    set_tests_properties(WineStop_${arch} PROPERTIES FIXTURES_CLEANUP wine_${arch})
    set_tests_properties(${tests} WineStart_${arch} WineStop_${arch} PROPERTIES RESOURCE_LOCK wine_${arch}
                         TIMEOUT 900 ENVIRONMENT QF25_WINE32_DIR=${CMAKE_BINARY_DIR}/wine32)
endfunction()

# The Windows zip of `make dist-windows` (run by `make check` before the tests),
# applied to fresh prefixes as Windows applies qf25.inf.
function(qf25_add_wine_install_test arch)
    set(zip ${CMAKE_BINARY_DIR}/qf25-${PROJECT_VERSION}-windows.zip)
    add_test(NAME WineInstall_${arch} COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/wine/run-wine-install-test.sh ${arch} ${zip}
                                              ${ARGN} ${CMAKE_CURRENT_SOURCE_DIR}/data/vectors)
    set_tests_properties(WineInstall_${arch} PROPERTIES TIMEOUT 900)
endfunction()

find_program(QF25_OBJDUMP_I686 i686-w64-mingw32-objdump REQUIRED)
qf25_add_wine_tests(win32 ${QF25_OBJDUMP_I686} ${PROJECT_SOURCE_DIR}/scripts/wine32-run.sh)
qf25_add_wine_install_test(win32 ${CMAKE_BINARY_DIR}/win32)

find_program(QF25_OBJDUMP_X86_64 x86_64-w64-mingw32-objdump)
find_program(QF25_CXX_X86_64 x86_64-w64-mingw32-g++)
find_program(QF25_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(QF25_OBJDUMP_X86_64 AND QF25_CXX_X86_64 AND QF25_WINE64)
    qf25_add_wine_tests(win64 ${QF25_OBJDUMP_X86_64})
    qf25_add_wine_install_test(win64 ${CMAKE_BINARY_DIR}/win64 ${CMAKE_BINARY_DIR}/win32)
endif()
