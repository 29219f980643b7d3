#include "SpecialFolders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

#include "FileUtil.h"

namespace tv::platform {
namespace {

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::optional<std::string> AbsoluteEnv(const char* name) {
  const char* value = std::getenv(name);
  // The base-directory rules say a relative value is invalid and must be ignored.
  if (value == nullptr || value[0] != '/') return std::nullopt;
  return WithoutTrailingSlash(value);
}

// The value of XDG_DESKTOP_DIR in a user-dirs.dirs text: a shell-quoted "$HOME/..." or "/..."
// path; anything else is ignored.
std::optional<std::string> DesktopFromUserDirs(std::string_view text, const std::string& home) {
  std::optional<std::string> found;
  std::size_t begin = 0;
  while (begin < text.size()) {
    auto end = text.find('\n', begin);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(begin, end - begin);
    begin = end + 1;
    const auto first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos) continue;
    line.remove_prefix(first);
    constexpr std::string_view kKey = "XDG_DESKTOP_DIR=\"";
    if (!line.starts_with(kKey)) continue;
    line.remove_prefix(kKey.size());
    std::string value;
    bool closed = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
      if (line[i] == '\\' && i + 1 < line.size()) {
        value += line[++i];
      } else if (line[i] == '"') {
        closed = true;
        break;
      } else {
        value += line[i];
      }
    }
    if (!closed) continue;
    if (value.starts_with("$HOME")) {
      const std::string_view rest = std::string_view(value).substr(5);
      if (!rest.empty() && rest.front() != '/') continue;
      if (home.empty()) continue;
      value = home + std::string(rest);
    } else if (!value.starts_with("/")) {
      continue;
    }
    found = WithoutTrailingSlash(value);  // a later line overrides, as the shell would
  }
  return found;
}

}  // namespace

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
    return WithoutTrailingSlash(home);
  }
  std::vector<char> buffer(16384);
  struct passwd entry {};
  struct passwd* result = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result &&
      result->pw_dir != nullptr && result->pw_dir[0] == '/') {
    return WithoutTrailingSlash(result->pw_dir);
  }
  return {};
}

std::string AppDataFolder() {
  if (auto data = AbsoluteEnv("XDG_DATA_HOME")) return *data;
  const std::string home = HomeFolder();
  if (home.empty()) return {};
  return (home == "/" ? std::string() : home) + "/.local/share";
}

std::string DesktopFolder() {
  const std::string home = HomeFolder();
  std::string config;
  if (auto dir = AbsoluteEnv("XDG_CONFIG_HOME")) {
    config = *dir;
  } else if (!home.empty()) {
    config = (home == "/" ? std::string() : home) + "/.config";
  }
  if (!config.empty()) {
    try {
      if (auto desktop = DesktopFromUserDirs(ReadWholeFile(config + "/user-dirs.dirs"), home)) {
        return *desktop;
      }
    } catch (const FileError&) {
      // No user-dirs file: the conventional folder below.
    }
  }
  if (home.empty()) return {};
  return (home == "/" ? std::string() : home) + "/Desktop";
}

std::string ThinClientRoot() {
  return "/mnt/d/";
}

}  // namespace tv::platform
