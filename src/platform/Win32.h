// The Windows API for the platform's Win32 files, with small owners for its handles.
//
// The program's own HWND (WinTypes.h) is the user-interface framework's window id, an integer; the
// system's window handle type is called Win32HWND here so that both can be used in one file.
// The owners close their handle when they go and never fail.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

#define HWND Win32HWND
// clang-format off
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <winver.h>
// clang-format on
#undef HWND

#include <cstdint>
#include <string>
#include <utility>

#include "WinTypes.h"

namespace tv::platform {

// A window id of the framework as the system's handle: handles are 32-bit values that a 64-bit
// process sign-extends, so only the low 32 bits count.
inline Win32HWND NativeWindow(HWND window) {
  const auto low = static_cast<std::int32_t>(static_cast<std::uint32_t>(window));
  return reinterpret_cast<Win32HWND>(static_cast<std::intptr_t>(low));
}

// Owner of a kernel handle (CloseHandle). Both null and INVALID_HANDLE_VALUE mean "none".
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  HANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE release() { return std::exchange(handle_, nullptr); }
  void reset(HANDLE handle = nullptr) {
    if (*this) ::CloseHandle(handle_);
    handle_ = handle;
  }

 private:
  HANDLE handle_ = nullptr;
};

// Owner of a COM interface pointer (Release).
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() {
    if (p_) p_->Release();
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T** put() {
    if (p_) p_->Release();
    p_ = nullptr;
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

// The system's text for a Win32 error code, UTF-8, without the trailing line break.
std::string Win32ErrorText(DWORD error);

}  // namespace tv::platform
