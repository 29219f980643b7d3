#include "ShellExecute.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "Process.h"

namespace tv::platform {

bool ShellOpen(const std::string& name, const std::string& workdir) {
  struct stat st {};
  if (name.empty() || ::stat(name.c_str(), &st) != 0) return false;
  // The program starts in workdir, so a relative name must be resolved here, not there.
  std::error_code ec;
  const std::string file = std::filesystem::absolute(name, ec).string();
  if (ec) return false;
  if (S_ISREG(st.st_mode) && ::access(file.c_str(), X_OK) == 0) {
    const int error = SpawnDetached({file}, workdir);
    // A file marked executable that the system cannot run (a text without "#!") is a document.
    if (error != ENOEXEC) return error == 0;
  }
  const char* override = std::getenv("TV_OPENER");
  const std::string opener =
      FindProgram(override != nullptr && override[0] != '\0' ? override : "xdg-open");
  if (opener.empty()) return false;
  return SpawnDetached({opener, file}, workdir) == 0;
}

}  // namespace tv::platform
