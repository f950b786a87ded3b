# Cross-compiling for 64-bit Windows with MinGW-w64: the library for 64-bit
# hosts, and the tree on which the Windows tests run where the machine runs
# no 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_PREFIX x86_64-w64-mingw32)
set(EBOOK_WINE_ARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
