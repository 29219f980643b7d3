// Internal: the table from window handles to live forms. Handles are never reused. Lookups that
// return the form are for the user-interface thread, which alone destroys forms.
#pragma once

#include "WinTypes.h"

class TForm;

namespace tv::framework::detail {

HWND RegisterWindow(TForm* form);
void UnregisterWindow(HWND handle);
TForm* FindWindow(HWND handle);
bool IsLiveWindow(HWND handle);

}  // namespace tv::framework::detail
