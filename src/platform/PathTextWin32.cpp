#include "PathText.h"

#include "CodePage1250.h"
#include "Win32.h"

namespace tv::platform {

std::filesystem::path PathFromCp1250(std::string_view cp1250) {
  if (cp1250.empty()) return {};
  const int size = static_cast<int>(cp1250.size());
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  // A single-byte code page gives one UTF-16 unit per byte.
  const int written = ::MultiByteToWideChar(1250, 0, cp1250.data(), size, wide.data(), size);
  if (written <= 0) {
    // The system always knows cp1250; should it refuse, the program's own table gives the same.
    const std::u16string own = Cp1250ToUtf16(cp1250);
    return std::filesystem::path(std::wstring(own.begin(), own.end()));
  }
  wide.resize(static_cast<std::size_t>(written));
  return std::filesystem::path(std::move(wide));
}

}  // namespace tv::platform
