# Cross-build for 64-bit Windows against the static libraries of scripts/windows-libs: the
# MinGW-w64 toolchain of mingw-w64-x86_64.cmake, with that prefix searched before MinGW-w64's
# own root, pkg-config reading the prefix's .pc files only and giving their static link lines,
# and every program linked -static (no libstdc++, libgcc or libwinpthread DLLs).
#   cmake -S deck -B build/deck-windows -DCMAKE_TOOLCHAIN_FILE=cmake/windows-libs.cmake
# TOLLAMY_WINDOWS_LIBS names another prefix (default build/windows-libs beside this folder).
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64.cmake)

if(NOT TOLLAMY_WINDOWS_LIBS)
    set(TOLLAMY_WINDOWS_LIBS ${CMAKE_CURRENT_LIST_DIR}/../build/windows-libs)
endif()
get_filename_component(TOLLAMY_WINDOWS_LIBS ${TOLLAMY_WINDOWS_LIBS} ABSOLUTE)
set(TOLLAMY_WINDOWS_LIBS ${TOLLAMY_WINDOWS_LIBS} CACHE PATH "prefix of scripts/windows-libs")
# try_compile projects read this file again, and need the same prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TOLLAMY_WINDOWS_LIBS)

set(CMAKE_FIND_ROOT_PATH ${TOLLAMY_WINDOWS_LIBS} /usr/${TOOLCHAIN_PREFIX})
# Package files too come from the roots only: CLI11's from the prefix, which points at its
# include/ rather than at /usr/include.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(ENV{PKG_CONFIG_LIBDIR} ${TOLLAMY_WINDOWS_LIBS}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
set(PKG_CONFIG_ARGN --static CACHE STRING "arguments of every pkg-config call")

set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
