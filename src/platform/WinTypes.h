// The handful of Windows type names that the framework and the program share. A window handle is
// a small integer id handed out by the user-interface framework; 0 means "no window". Nothing here
// can fail.
#pragma once

#include <cstdint>

using HWND = std::uintptr_t;
#ifdef _WIN32
// Exactly the system's types (windows.h may stand beside this header; Win32.h shows how): on
// 32-bit Windows LPARAM is a long, not an int.
#ifdef _WIN64
using WPARAM = unsigned long long;
using LPARAM = long long;
using LRESULT = long long;
#else
using WPARAM = unsigned int;
using LPARAM = long;
using LRESULT = long;
#endif
using UINT = unsigned int;
#else
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using UINT = std::uint32_t;
#endif
