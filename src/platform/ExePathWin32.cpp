#include "ExePath.h"
#include "PlatformError.h"
#include "Win32.h"

namespace tv::platform {

std::filesystem::path ExecutablePath() {
  // The path can be longer than MAX_PATH; the buffer grows until it holds it whole.
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      throw PlatformError("Cannot determine the path of the running program: " +
                          Win32ErrorText(::GetLastError()));
    }
    if (length < buffer.size()) {
      buffer.resize(length);
      return std::filesystem::path(buffer);
    }
    if (buffer.size() >= 32768) {
      throw PlatformError("Cannot determine the path of the running program: it is too long");
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::filesystem::path ExecutableFolder() {
  return ExecutablePath().parent_path();
}

}  // namespace tv::platform
