# What both MinGW-w64 toolchains share: the POSIX thread model (so that
# std::thread and std::mutex work), a static zlib, and Wine as the emulator
# through which ctest starts every Windows test program. Included by
# mingw-i686.cmake and mingw-x86_64.cmake after they set MINGW_PREFIX and
# EBOOK_WINE_ARCH.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest starts every Windows executable through Wine, in the prefix that
# fits the tree's architecture. Nothing in the build itself runs a Windows
# program: build-time tools are built for the build machine.
get_filename_component(_ebook_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${_ebook_root}/scripts/wine-run;--${EBOOK_WINE_ARCH}")

# zlib is linked into the programs and the library, like the C++ runtime:
# nothing may need a zlib1.dll at run time.
set(ZLIB_USE_STATIC_LIBS ON)
