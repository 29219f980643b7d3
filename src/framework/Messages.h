// Window messages between threads and forms. A window handle (HWND) is a number handed out by the
// handle table when a form is created and withdrawn when it is destroyed; it is never reused, so
// a handle that outlives its form is simply dead: sending to it does nothing and returns 0.
//
// SendMessage on the user-interface thread calls the form's handler directly. From any other
// thread it hands the call to the user-interface thread and blocks until the handler has run
// there; the user-interface thread serves such calls inside every message loop and inside
// ProcessMessages. It never hangs: a dead handle, no application object, or a message loop that
// has ended (the program is closing) make it return 0 at once. An exception escaping a handler is
// shown in the standard error box and the message's Result stays what the handler left.
#pragma once

#include <functional>

#include "WinTypes.h"

// The message record that handlers receive (message number, parameters, result).
struct TMessage {
  UINT Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;
};

using TMessageHandler = std::function<void(TMessage&)>;

LRESULT SendMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

// Queues the message for the user-interface thread and returns at once. False when the handle is
// dead or the program is closing (nothing was queued). A queued message whose window dies before
// it is handled is dropped.
bool PostMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

// True while a form owns the handle. Safe from any thread; the answer may be stale a moment
// later when the user-interface thread destroys the form meanwhile.
bool IsWindow(HWND window);
