#include <array>

#include "FileUtil.h"

namespace tv::platform {

bool IsWindowsReservedName(std::string_view name) {
  if (name.empty()) return false;
  if (name.back() == '.' || name.back() == ' ') return name != "." && name != "..";
  // The device name is the part before the first dot, blanks before that dot included.
  std::string_view stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
  std::string upper;
  for (char c : stem) upper += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  static constexpr std::array<std::string_view, 6> kDevices = {"CON", "PRN",    "AUX",
                                                               "NUL", "CONIN$", "CONOUT$"};
  for (std::string_view device : kDevices) {
    if (upper == device) return true;
  }
  // COM1-COM9 and LPT1-LPT9, and the superscript digits ¹²³ that Windows counts too
  // (cp1250 0xB9 is 'ą', so only their UTF-8 forms).
  if (upper.size() >= 4 && (upper.starts_with("COM") || upper.starts_with("LPT"))) {
    const std::string_view rest = std::string_view(upper).substr(3);
    if (rest.size() == 1 && rest[0] >= '1' && rest[0] <= '9') return true;
    if (rest == "\xC2\xB9" || rest == "\xC2\xB2" || rest == "\xC2\xB3") return true;
  }
  return false;
}

}  // namespace tv::platform
