// The activation request: a start that is refused asks the running instance to restore and raise
// its window. The running instance listens on a local socket named after its instance marker
// (Linux abstract namespace, so nothing is left on disk); requests from other users are ignored.
//
// On Windows a refused start restores (when minimised) and raises the running instance's window
// itself: IsIconic, ShowWindow(SW_RESTORE), SetForegroundWindow on the window the marker names.
// There the listener listens for nothing and RequestRaise reports whether the window came forward.
//
// ActivationListener throws PlatformError when it cannot listen (for example when another process
// already listens under that name). RequestRaise never throws and never hangs: it gives up after
// its time-out and then reports false.
#pragma once

#include <chrono>
#include <functional>
#include <string_view>
#include <thread>

#include "UniqueFd.h"
#include "WinTypes.h"

namespace tv::platform {

class ActivationListener {
 public:
  // Called on the listener's own thread with the window that the requester asks to be raised.
  using Callback = std::function<void(HWND)>;

  ActivationListener(std::string_view markerName, Callback callback);
  ~ActivationListener();  // stops listening and joins the thread
  ActivationListener(const ActivationListener&) = delete;
  ActivationListener& operator=(const ActivationListener&) = delete;

 private:
  void Run();
  void Serve(int connection);

  UniqueFd listen_;
  UniqueFd stop_;
  Callback callback_;
  std::thread thread_;
};

// Sends the request to the instance that listens under markerName; true when it confirmed that
// it received it.
bool RequestRaise(std::string_view markerName, HWND ownerWindow,
                  std::chrono::milliseconds timeout = std::chrono::milliseconds(1500));

}  // namespace tv::platform
