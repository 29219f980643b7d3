# The GUI-free configuration file logic (Configuration.cpp), included by this folder's
# CMakeLists.txt. It needs tv_platform (INI, code page, executable path) and tv_app
# (GetAppDataFolder).
set(TV_CONFIGURATION_SOURCES ${CMAKE_CURRENT_LIST_DIR}/Configuration.cpp)
