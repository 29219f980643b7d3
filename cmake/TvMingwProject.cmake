# Runs right after project() in the mingw-w64 cross build (the toolchain file names it), before
# the top-level CMakeLists.txt looks for its packages: Debian packages GoogleTest's libraries for
# the build machine only, so the cross build compiles it from Debian's source package
# (/usr/src/googletest) with the cross compiler, and find_package(GTest) takes those targets.
# (libcurl and cpp-httplib are not looked for on Windows: the rpc library talks WinINet, and the
# Windows tests bring their own loopback server.)

if(TV_BUILD_TESTS OR NOT DEFINED TV_BUILD_TESTS)
  if(NOT EXISTS /usr/src/googletest/CMakeLists.txt)
    message(FATAL_ERROR "The Windows tests need GoogleTest's sources: apt-get install googletest")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/gtest-config.cmake
       "# GoogleTest is built in this tree (TvMingwProject.cmake).\nset(GTest_FOUND TRUE)\n")
endif()

