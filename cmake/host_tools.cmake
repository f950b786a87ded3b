# Build-time tools for the build machine. A Windows tree needs the theme
# generator while it builds (its output is embedded in the viewer library)
# and the book compiler for the end-to-end run of the e-book; both are built
# from these same sources with the build machine's own compiler, so that no
# build step has to run a Windows program.
#
# EBOOK_HOST_TOOLS_BINARY_DIR names the tree they are built in; the scripts
# point both Windows trees at one such tree so that the tools are compiled
# once. The step runs on every build and is a no-op when nothing changed.
include(ExternalProject)

set(EBOOK_HOST_TOOLS_LAUNCHER)
if(CMAKE_CXX_COMPILER_LAUNCHER)
  set(EBOOK_HOST_TOOLS_LAUNCHER -DCMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER}
      -DCMAKE_C_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER})
endif()

set(EBOOK_HOST_TOOLS_BINARY_DIR "${CMAKE_BINARY_DIR}/host-tools" CACHE PATH
    "Where the build machine's own themegen and bookc are built")

ExternalProject_Add(host_tools
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${EBOOK_HOST_TOOLS_BINARY_DIR}
  CMAKE_GENERATOR ${CMAKE_GENERATOR}
  CMAKE_ARGS -DEBOOK_HOST_TOOLS_ONLY=ON -DCMAKE_BUILD_TYPE=Release ${EBOOK_HOST_TOOLS_LAUNCHER}
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target themegen bookc -j 2
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  USES_TERMINAL_BUILD ON
  BUILD_BYPRODUCTS ${EBOOK_HOST_TOOLS_BINARY_DIR}/bin/themegen ${EBOOK_HOST_TOOLS_BINARY_DIR}/bin/bookc)

set(EBOOK_HOST_THEMEGEN ${EBOOK_HOST_TOOLS_BINARY_DIR}/bin/themegen)
set(EBOOK_HOST_BOOKC ${EBOOK_HOST_TOOLS_BINARY_DIR}/bin/bookc)
set(EBOOK_HOST_TOOLS_TARGETS host_tools)
