# 32-bit Windows with mingw-w64 (Debian's g++-mingw-w64-i686-posix), the architecture of the
# original program. Builds only: 32-bit programs cannot run on the build machines, not even under
# wine, so configure it with -DTV_BUILD_TESTS=OFF.
#   cmake -S . -B build-win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake \
#         -DTV_BUILD_GUI=OFF -DTV_BUILD_SERVER=OFF -DTV_BUILD_TESTS=OFF
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TV_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/TvMingw.cmake)
