#include "Activation.h"
#include "Win32.h"

namespace tv::platform {

// A refused start brings the running instance's window forward itself (the system lets a process
// that is starting take the foreground), so the running instance has nothing to listen for.
ActivationListener::ActivationListener(std::string_view, Callback callback)
    : callback_(std::move(callback)) {}

ActivationListener::~ActivationListener() = default;

void ActivationListener::Run() {}
void ActivationListener::Serve(int) {}

bool RequestRaise(std::string_view, HWND ownerWindow, std::chrono::milliseconds) {
  const Win32HWND window = NativeWindow(ownerWindow);
  if (window == nullptr || !::IsWindow(window)) return false;
  if (::IsIconic(window)) ::ShowWindow(window, SW_RESTORE);
  return ::SetForegroundWindow(window) != FALSE;
}

}  // namespace tv::platform
