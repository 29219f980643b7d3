#include "PathText.h"
#include "PlatformError.h"
#include "Win32.h"

namespace tv::platform {

std::string Win32ErrorText(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (length == 0 || text == nullptr) return "error " + std::to_string(error);
  std::wstring message(text, length);
  ::LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                              message.back() == L' ' || message.back() == L'.')) {
    message.pop_back();
  }
  return PathToUtf8(std::filesystem::path(message));
}

// The Windows platform layer reports Win32 error codes (GetLastError), never errno values.
std::string SystemErrorText(int error) {
  return Win32ErrorText(static_cast<DWORD>(error));
}

}  // namespace tv::platform
