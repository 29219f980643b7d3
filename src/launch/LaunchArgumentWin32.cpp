#include <memory>

#include "LaunchArgument.h"
#include "PathText.h"
#include "Win32.h"

namespace tv::launch {

std::optional<std::string> FirstCommandLineArgument() {
  // The arguments as the shell split them (a desktop shortcut passes the identifier unquoted).
  int count = 0;
  wchar_t** raw = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (raw == nullptr) return std::nullopt;
  const std::unique_ptr<wchar_t*, decltype(&::LocalFree)> arguments(raw, &::LocalFree);
  if (count < 2) return std::nullopt;
  return IdentifierFromArgument(tv::platform::PathToUtf8(std::filesystem::path(raw[1])));
}

}  // namespace tv::launch
