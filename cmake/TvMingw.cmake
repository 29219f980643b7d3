# Shared part of the mingw-w64 toolchain files: the -posix compilers (the plain ones have no
# std::thread), a static runtime so that a built .exe runs alone (no libstdc++ or winpthread DLL
# beside it), the target's own sysroot for headers and libraries, and wine as the emulator through
# which ctest runs (and lists) the tests. Set TV_MINGW_TRIPLE before including this file.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${TV_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TV_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TV_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TV_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
# libz-mingw-w64-dev ships libz.a beside the import library of zlib1.dll: take the static one.
set(ZLIB_USE_STATIC_LIBS ON)

# Debian's wine64 package puts its loader outside PATH; the wine wrapper picks it when present.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(TV_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
  if(TV_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${TV_WINE})
  endif()
endif()

# What the cross build needs before the project's own CMake code runs (GoogleTest from source,
# no libcurl, the GUI-free folders): see TvMingwProject.cmake.
set(CMAKE_PROJECT_TolvaraUpdater_INCLUDE ${CMAKE_CURRENT_LIST_DIR}/TvMingwProject.cmake)
