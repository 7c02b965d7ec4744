# Cross-build of Tollamy.dll for Windows Mobile 5 (Windows CE 5.01 on ARM) with CeGCC's
# arm-mingw32ce: binutils 2.20, GCC 4.4, the CE runtime and w32api. TOLLAMY_CE_TOOLCHAIN is the
# toolchain's folder, the one whose bin/ holds arm-mingw32ce-g++ (scripts/common.sh unpacks it
# into build/arm-mingw32ce); the environment variable of that name is read when the CMake
# variable is not given.
# CMake knows CE only with Microsoft's compilers; to it this is Windows with the GNU tools.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ARM)
set(TOLLAMY_WINCE ON)

if(NOT TOLLAMY_CE_TOOLCHAIN)
    if(DEFINED ENV{TOLLAMY_CE_TOOLCHAIN})
        set(TOLLAMY_CE_TOOLCHAIN "$ENV{TOLLAMY_CE_TOOLCHAIN}")
    else()
        get_filename_component(TOLLAMY_CE_TOOLCHAIN "${CMAKE_CURRENT_LIST_DIR}/../build/arm-mingw32ce"
            ABSOLUTE)
    endif()
endif()
set(TOLLAMY_CE_TOOLCHAIN "${TOLLAMY_CE_TOOLCHAIN}" CACHE PATH "The arm-mingw32ce toolchain's folder")
# The compiler checks read this file again in projects of their own.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TOLLAMY_CE_TOOLCHAIN)

set(TOOLCHAIN_PREFIX ${TOLLAMY_CE_TOOLCHAIN}/bin/arm-mingw32ce)
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH ${TOLLAMY_CE_TOOLCHAIN}/arm-mingw32ce)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Windows Mobile 5. The CE headers need _WIN32_WCE, which the compiler does not define;
# _WIN32_WINNT and WINVER stay unset (with them the headers declare desktop-only calls).
set(CMAKE_C_FLAGS_INIT "-D_WIN32_WCE=0x501")
set(CMAKE_CXX_FLAGS_INIT "-D_WIN32_WCE=0x501")
set(CMAKE_RC_FLAGS_INIT "-D_WIN32_WCE=0x501")
# coredll, linked by default, is kernel32, user32, gdi32, advapi32 and the C runtime at once;
# CMake's default list of desktop libraries exists nowhere on CE.
set(CMAKE_C_STANDARD_LIBRARIES "" CACHE STRING "Linked with every C target")
set(CMAKE_CXX_STANDARD_LIBRARIES "" CACHE STRING "Linked with every C++ target")
# Nothing built here runs on this machine; the compiler checks compile without linking.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
