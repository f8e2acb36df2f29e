# Cross-build for Windows with Debian's mingw-w64. BM_MINGW_ARCH (i686 or
# x86_64, set by the win32 and win64 presets) picks the compilers; programs
# built here run under Wine's loader of the same bitness, and ctest starts
# them through it.
set(CMAKE_SYSTEM_NAME Windows)
# CMake's compiler checks read this file again in projects of their own.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES BM_MINGW_ARCH)
if(NOT BM_MINGW_ARCH MATCHES "^(i686|x86_64)$")
  message(FATAL_ERROR "BM_MINGW_ARCH must be i686 or x86_64, not '${BM_MINGW_ARCH}'")
endif()
set(CMAKE_SYSTEM_PROCESSOR ${BM_MINGW_ARCH})
set(BM_MINGW_TRIPLE ${BM_MINGW_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER ${BM_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BM_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${BM_MINGW_TRIPLE}-windres)
set(BM_WIDL ${BM_MINGW_TRIPLE}-widl)
set(CMAKE_FIND_ROOT_PATH /usr/${BM_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The loader is chosen when the test runs (scripts/wine-run.sh): where the
# machine cannot run 32-bit programs itself, the 32-bit one runs under
# qemu's emulation.
if(BM_MINGW_ARCH STREQUAL "i686")
  set(BM_WINE_BITS 32)
else()
  set(BM_WINE_BITS 64)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh ${BM_WINE_BITS})
