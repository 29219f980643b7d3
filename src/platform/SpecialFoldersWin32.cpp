#include "PathText.h"
#include "SpecialFolders.h"
#include "Win32.h"

namespace tv::platform {
namespace {

std::string ShellFolder(int csidl) {
  wchar_t buffer[MAX_PATH + 1] = {};
  // A failure is a negative result; the folder is then unknown.
  if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer))) return {};
  std::wstring path(buffer);
  while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  return PathToUtf8(std::filesystem::path(path));
}

}  // namespace

std::string AppDataFolder() {
  return ShellFolder(CSIDL_APPDATA);
}

std::string DesktopFolder() {
  return ShellFolder(CSIDL_DESKTOPDIRECTORY);
}

std::string ThinClientRoot() {
  return "D:\\";
}

std::string HomeFolder() {
  return ShellFolder(CSIDL_PROFILE);
}

}  // namespace tv::platform
