# SPDX-License-Identifier: GPL-3.0-or-later
# GoogleTest for the tests. A build for this machine uses the installed one; a build for
# another processor or for WebAssembly compiles it from Debian's sources (googletest package).
if(NOT CMAKE_CROSSCOMPILING)
    find_package(GTest REQUIRED)
    return()
endif()
set(ZUVELA_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for cross builds")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
# The engine's tests need no mocks; leaving them out saves most of the compile time.
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
if(EMSCRIPTEN)
    set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
endif()
add_subdirectory(${ZUVELA_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(lib gtest gtest_main)
    if(NOT TARGET GTest::${lib})
        add_library(GTest::${lib} ALIAS ${lib})
    endif()
endforeach()
