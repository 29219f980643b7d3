# 64-bit Windows with mingw-w64 (Debian's g++-mingw-w64-x86-64-posix); tests run under wine64.
#   cmake -S . -B build-win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake \
#         -DTV_BUILD_GUI=OFF -DTV_BUILD_SERVER=OFF
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TV_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/TvMingw.cmake)
