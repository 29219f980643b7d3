#include "LaunchArgument.h"

#include <fstream>
#include <iterator>

#include "CodePage1250.h"

namespace tv::launch {

std::string IdentifierFromArgument(std::string_view argument) {
  if (auto cp1250 = tv::platform::Utf8ToCp1250(argument)) return *cp1250;
  return std::string(argument);
}

#ifndef _WIN32
std::optional<std::string> FirstCommandLineArgument() {
  // The arguments exactly as the process received them, NUL-separated, program name first.
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  const std::string all(std::istreambuf_iterator<char>(in), {});
  const size_t end = all.find('\0');
  if (end == std::string::npos || end + 1 >= all.size()) return std::nullopt;
  const size_t next = all.find('\0', end + 1);
  return IdentifierFromArgument(std::string_view(all).substr(
      end + 1, next == std::string::npos ? std::string::npos : next - end - 1));
}
#endif

}  // namespace tv::launch
