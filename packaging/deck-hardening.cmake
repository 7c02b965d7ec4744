# Debian's hardening flags for the native tollamy-deck of the .deb, as an initial cache for
# `cmake -C`: packaging/CMakeLists.txt builds the tool with them (build/deck-package), and the
# scripts build build/deck-native with them too, so that scripts/test packs the tool that its
# tests ran instead of building it a second time. The release build adds -O3.
set(CMAKE_CXX_FLAGS "-fstack-protector-strong -D_FORTIFY_SOURCE=2 -Wformat -Werror=format-security"
    CACHE STRING "" FORCE)
set(CMAKE_EXE_LINKER_FLAGS "-Wl,-z,relro -Wl,-z,now" CACHE STRING "" FORCE)
