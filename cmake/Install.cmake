# SPDX-License-Identifier: BSD-2-Clause
# What `cmake --install` puts under the prefix for programs that link the codec:
# libqf25.so.1 with its links, include/qf25.h, qf25.pc and the CMake package
# qf25::qf25. The command and the CMake package find the library relative to
# themselves, so any prefix and DESTDIR work.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set_target_properties(qf25 PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
install(TARGETS qf25 EXPORT qf25Targets LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/include/qf25.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

# qf25.pc names the prefix given at install time (cmake --install --prefix).
set(QF25_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/cmake/qf25.pc.in ${CMAKE_CURRENT_BINARY_DIR}/qf25.pc.body @ONLY)
install(CODE "
    file(READ \"${CMAKE_CURRENT_BINARY_DIR}/qf25.pc.body\" body)
    file(WRITE \"${CMAKE_CURRENT_BINARY_DIR}/qf25.pc\" \"prefix=\${CMAKE_INSTALL_PREFIX}\\n\${body}\")")
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/qf25.pc DESTINATION ${QF25_PKGCONFIG_DIR})

set(QF25_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/qf25)
install(EXPORT qf25Targets NAMESPACE qf25:: DESTINATION ${QF25_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_SOURCE_DIR}/cmake/qf25Config.cmake.in
    ${CMAKE_CURRENT_BINARY_DIR}/qf25Config.cmake INSTALL_DESTINATION ${QF25_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/qf25ConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/qf25Config.cmake ${CMAKE_CURRENT_BINARY_DIR}/qf25ConfigVersion.cmake
        DESTINATION ${QF25_CMAKE_DIR})

# Programs installed beside the library find it through a relative RUNPATH,
# unless it lands in a directory the loader searches anyway (a /usr install).
if(CMAKE_INSTALL_FULL_LIBDIR IN_LIST CMAKE_CXX_IMPLICIT_LINK_DIRECTORIES)
    set(QF25_INSTALL_RPATH "")
else()
    file(RELATIVE_PATH QF25_BIN_TO_LIB ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
    set(QF25_INSTALL_RPATH "$ORIGIN/${QF25_BIN_TO_LIB}")
endif()
