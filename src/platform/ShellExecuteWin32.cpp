#include "PathText.h"
#include "ShellExecute.h"
#include "Win32.h"

namespace tv::platform {

bool ShellOpen(const std::string& file, const std::string& workdir) {
  if (file.empty()) return false;
  const std::filesystem::path target = PathFromUtf8(file);
  const std::filesystem::path folder = PathFromUtf8(workdir);
  // The file's default action, as a double click would do it; the program starts in folder.
  const HINSTANCE result =
      ::ShellExecuteW(nullptr, nullptr, target.c_str(), nullptr,
                      workdir.empty() ? nullptr : folder.c_str(), SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

}  // namespace tv::platform
