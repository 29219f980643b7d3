#include "PathText.h"

#include "CodePage1250.h"

namespace tv::platform {

std::filesystem::path PathFromUtf8(std::string_view utf8) {
#ifdef _WIN32
  const std::u16string wide = Utf8ToUtf16(utf8);
  return std::filesystem::path(std::wstring(wide.begin(), wide.end()));
#else
  return std::filesystem::path(std::string(utf8));
#endif
}

std::string PathToUtf8(const std::filesystem::path& path) {
#ifdef _WIN32
  const std::wstring& wide = path.native();
  return Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
#else
  return path.native();
#endif
}

std::filesystem::path WithTrailingDelimiter(const std::filesystem::path& folder) {
  auto text = folder.native();
  while (!text.empty() &&
         (text.back() == '/' || text.back() == std::filesystem::path::preferred_separator)) {
    text.pop_back();
  }
  text += std::filesystem::path::preferred_separator;
  return std::filesystem::path(std::move(text));
}

#ifndef _WIN32
std::filesystem::path PathFromCp1250(std::string_view cp1250) {
  return std::filesystem::path(Cp1250ToUtf8(cp1250));
}
#endif

}  // namespace tv::platform
