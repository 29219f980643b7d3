#include "AppPaths.h"

#include <algorithm>
#include <vector>

#include "CodePage1250.h"
#include "FileUtil.h"
#include "PathText.h"
#include "SpecialFolders.h"

namespace tv::launch {
namespace {

bool IsControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F;
}

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

// Windows takes some names as devices (CON, NUL, COM1...) or changes them (a trailing dot or
// blank), and forbids a few more characters; a service name that would do that is refused there.
bool RefusedBySystem(std::string_view step) {
#ifdef _WIN32
  return step.find_first_of("*?\"<>|") != std::string_view::npos ||
         tv::platform::IsWindowsReservedName(step);
#else
  static_cast<void>(step);
  return false;
#endif
}

std::string Quoted(std::string_view cp1250Name) {
  std::string shown;
  for (const char c : tv::platform::Cp1250ToUtf8(cp1250Name)) shown += IsControl(c) ? '?' : c;
  return "\"" + shown + "\"";
}

}  // namespace

bool IsSafeFolderName(std::string_view cp1250Name) {
  if (cp1250Name.empty() || cp1250Name == "." || cp1250Name == "..") return false;
  if (RefusedBySystem(cp1250Name)) return false;
  return std::none_of(cp1250Name.begin(), cp1250Name.end(),
                      [](char c) { return IsSeparator(c) || c == ':' || IsControl(c); });
}

std::filesystem::path ApplicationFolder(bool thinClient, std::string_view appDataFolder,
                                        std::string_view cp1250Uid) {
  if (!IsSafeFolderName(cp1250Uid)) {
    throw EUnsafeName("The application identifier " + Quoted(cp1250Uid) + " cannot name a folder.");
  }
  std::filesystem::path root;
  if (thinClient) {
    root = tv::platform::PathFromUtf8(tv::platform::ThinClientRoot());
  } else {
    // An empty application-data folder would put the application under the file-system root.
    if (appDataFolder.empty()) {
      throw ELaunchError(
          "The user's application-data folder is unknown (no home folder is set), so the "
          "application has no folder to live in.");
    }
    root = tv::platform::PathFromUtf8(appDataFolder);
  }
  return tv::platform::WithTrailingDelimiter(root / "Kestrov" /
                                             tv::platform::PathFromCp1250(cp1250Uid));
}

std::filesystem::path SafeRelativePath(std::string_view cp1250Name) {
  const auto refuse = [&](const char* why) -> std::filesystem::path {
    throw EUnsafeName("The file name " + Quoted(cp1250Name) + " from the update service " + why +
                      ".");
  };
  if (cp1250Name.empty()) return refuse("is empty");
  if (IsSeparator(cp1250Name.front())) return refuse("is an absolute path");
  if (std::any_of(cp1250Name.begin(), cp1250Name.end(), [](char c) { return c == ':'; })) {
    return refuse("names a drive or a stream");
  }
  if (std::any_of(cp1250Name.begin(), cp1250Name.end(), IsControl)) {
    return refuse("contains a control character");
  }
  const bool endsInDotStep =
      cp1250Name.back() == '.' &&
      (cp1250Name.size() == 1 || IsSeparator(cp1250Name[cp1250Name.size() - 2]));
  if (IsSeparator(cp1250Name.back()) || endsInDotStep) {
    return refuse("names a folder, not a file");
  }

  std::filesystem::path result;
  size_t start = 0;
  while (start <= cp1250Name.size()) {
    size_t end = start;
    while (end < cp1250Name.size() && !IsSeparator(cp1250Name[end])) ++end;
    const std::string_view step = cp1250Name.substr(start, end - start);
    if (step == "..") return refuse("leaves the application folder");
    if (!step.empty() && step != "." && RefusedBySystem(step)) {
      return refuse("is no file name this system can use");
    }
    if (!step.empty() && step != ".") result /= tv::platform::PathFromCp1250(step);
    start = end + 1;
  }
  if (result.empty()) return refuse("names no file");
  return result;
}

}  // namespace tv::launch
