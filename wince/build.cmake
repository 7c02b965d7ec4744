# Tollamy.dll for Windows Mobile 5 (Windows CE 5.01 on ARM), built from the desktop DLL's own
# sources with CeGCC (cmake/wince-arm.cmake) into a folder of its own, build/wince-arm; the
# device owner's zip; and the checks of both, which join the desktop build's CTest run. The top
# CMakeLists.txt includes it when configured so:
#   cmake -G Ninja -S . -B build/wince-arm -DCMAKE_TOOLCHAIN_FILE=cmake/wince-arm.cmake
# The handheld shell is the device's own (aygshell), so shell/ is not part of this build.

# GCC 4.4 knows C++11 as -std=gnu++0x, which CMake gives for standard 11.
set(CMAKE_CXX_STANDARD 11)
set(CMAKE_CXX_STANDARD_REQUIRED ON)

add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_IE=0x0600)
add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-Wall> $<$<COMPILE_LANGUAGE:C,CXX>:-Wextra>
    $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions>)
if(TOLLAMY_WERROR)
    add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-Werror>)
endif()

add_library(tollamy_core STATIC ${TOLLAMY_ITEM_SOURCES})
target_include_directories(tollamy_core PUBLIC ${CMAKE_SOURCE_DIR})
# The common controls (the options dialog's up-downs) and the handheld shell (SHInitDialog).
target_link_libraries(tollamy_core PUBLIC commctrl aygshell)

add_library(Tollamy SHARED ${CMAKE_SOURCE_DIR}/item/dllmain.cpp
    ${CMAKE_SOURCE_DIR}/item/tollamy.def ${CMAKE_SOURCE_DIR}/resources/tollamy.rc)
set_target_properties(Tollamy PROPERTIES PREFIX "" OUTPUT_NAME Tollamy)
target_link_libraries(Tollamy PRIVATE tollamy_core)
# WM5's own subsystem version (the linker's default, 3.0, is older CE's); libgcc's arithmetic
# (division, the font size's floating point) linked in, so that the DLL needs coredll alone and
# no libgcc_s_sjlj-1.dll beside it; no symbols (the runtime's debugging information is most of
# them), which the device's small storage would carry for nothing.
target_link_options(Tollamy PRIVATE -static-libgcc -s
    -Wl,--major-subsystem-version,5,--minor-subsystem-version,1)

# --- Tollamy-VERSION-wm5-arm.zip ------------------------------------------------------------
# The DLL, the sample deck under the name the DLL reads (Tollamy.txt beside Tollamy.dll) and the
# install steps, with CR LF line ends, in a folder of the package's name.
set(package Tollamy-${PROJECT_VERSION}-wm5-arm)
set(stage ${CMAKE_CURRENT_BINARY_DIR}/stage)
set(zip ${CMAKE_BINARY_DIR}/packages/${package}.zip)
set(TOLLAMY_VERSION ${PROJECT_VERSION})
configure_file(${CMAKE_CURRENT_LIST_DIR}/README.txt ${CMAKE_CURRENT_BINARY_DIR}/README.txt @ONLY
    NEWLINE_STYLE CRLF)
add_custom_command(OUTPUT ${zip}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${stage}/${package} ${CMAKE_BINARY_DIR}/packages
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Tollamy> ${CMAKE_CURRENT_BINARY_DIR}/README.txt
        ${stage}/${package}
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/samples/capitals.txt
        ${stage}/${package}/Tollamy.txt
    COMMAND ${CMAKE_COMMAND} -E rm -f ${zip}
    COMMAND ${CMAKE_COMMAND} -E chdir ${stage} ${CMAKE_COMMAND} -E tar cf ${zip} --format=zip
        ${package}
    DEPENDS Tollamy ${CMAKE_CURRENT_BINARY_DIR}/README.txt ${CMAKE_SOURCE_DIR}/samples/capitals.txt
    COMMENT "Packing ${package}.zip"
    VERBATIM)
add_custom_target(package-wm5 ALL DEPENDS ${zip})

# --- Checks ---------------------------------------------------------------------------------
# Nothing here runs an ARM CE binary: the checks read what was built with the toolchain's own
# objdump and nm (Debian's binutils cannot read these files) and compare its resources with
# those that MinGW-w64's windres compiles from the same script.
enable_testing()
find_package(Python3 REQUIRED COMPONENTS Interpreter)
find_program(TOLLAMY_DESKTOP_WINDRES x86_64-w64-mingw32-windres)
set(check ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/wince/dll-check.py
    --toolchain ${TOLLAMY_CE_TOOLCHAIN} --dll $<TARGET_FILE:Tollamy>)
add_test(NAME WinceArm.DllHeadersExportsAndImports COMMAND ${check} pe)
add_test(NAME WinceArm.DllResourcesAreTheDesktopBuilds
    COMMAND ${check} resources --rc ${CMAKE_SOURCE_DIR}/resources/tollamy.rc
        --desktop-windres "${TOLLAMY_DESKTOP_WINDRES}")
add_test(NAME WinceArm.ZipHoldsTheDllTheDeckAndTheInstallSteps
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/wince/zip-check.sh ${zip} $<TARGET_FILE:Tollamy>)
set_tests_properties(WinceArm.DllHeadersExportsAndImports WinceArm.DllResourcesAreTheDesktopBuilds
    WinceArm.ZipHoldsTheDllTheDeckAndTheInstallSteps
    PROPERTIES LABELS wince TIMEOUT 60 SKIP_RETURN_CODE 77)
