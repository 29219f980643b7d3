// Opening a file the way the desktop shell does. A program (a regular file we may execute) is
// started directly; anything else, a document or a folder, goes to the desktop's opener
// (xdg-open, or the program named by $TV_OPENER). Either way it runs detached in its own session
// with workdir as its working directory, so that we may end at once. On Windows the shell does it
// all (ShellExecuteW with the file's default action, SW_SHOWNORMAL). Names are UTF-8. Never throws.
#pragma once

#include <string>

namespace tv::platform {

// True when the start was handed over to the system; false when the file does not exist, the
// working directory is unusable, or no program could be started.
bool ShellOpen(const std::string& file, const std::string& workdir);

}  // namespace tv::platform
