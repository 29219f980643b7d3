// The handful of Windows type names that the framework and the program share. A window handle is
// a small integer id handed out by the user-interface framework; 0 means "no window". Nothing here
// can fail.
#pragma once

#include <cstdint>

using HWND = std::uintptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using UINT = std::uint32_t;
