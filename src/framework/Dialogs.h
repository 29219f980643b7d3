// The plain message box: caption Application->Title, the text, one OK button, no icon. It obeys
// the termination rule of the application object: after the termination request has been seen it
// is not shown and returns at once. Called from another thread it is shown by the user-interface
// thread while the caller waits; once that thread no longer serves calls it returns at once.
#pragma once

#include <string>

void ShowMessage(const std::string& utf8Text);
