#include "Messages.h"

#include "Forms.h"
#include "HandleTable.h"
#include "Thread.h"
#include "UiCallQueue.h"

namespace {

using tv::framework::detail::FindWindow;

LRESULT DeliverOnUiThread(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  TForm* form = FindWindow(window);
  if (!form) return 0;
  TMessage message{msg, wParam, lParam, 0};
  DispatchToForm(*form, message);
  return message.Result;
}

}  // namespace

LRESULT SendMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (IsUiThread()) return DeliverOnUiThread(window, msg, wParam, lParam);
  if (!tv::framework::detail::IsLiveWindow(window)) return 0;
  LRESULT result = 0;
  // DispatchToForm shows a handler's error itself, so nothing is thrown back here.
  tv::framework::detail::RunOnUiThreadAndWait(
      [&] { result = DeliverOnUiThread(window, msg, wParam, lParam); });
  return result;
}

bool PostMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!tv::framework::detail::IsLiveWindow(window)) return false;
  return tv::framework::detail::PostToUiThread(
      [=] { DeliverOnUiThread(window, msg, wParam, lParam); });
}

bool IsWindow(HWND window) {
  return tv::framework::detail::IsLiveWindow(window);
}
