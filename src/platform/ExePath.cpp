#include "ExePath.h"

#include <system_error>

#include "PlatformError.h"

namespace tv::platform {

std::filesystem::path ExecutablePath() {
  std::error_code ec;
  auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) {
    throw PlatformError("Cannot determine the path of the running program: " + ec.message());
  }
  return path;
}

std::filesystem::path ExecutableFolder() {
  return ExecutablePath().parent_path();
}

}  // namespace tv::platform
