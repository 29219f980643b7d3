#include <stdexcept>
#include <system_error>

#include "Ini.h"
#include "PathText.h"
#include "PlatformError.h"
#include "Win32.h"

namespace tv::platform {
namespace {

// The path in the ANSI code page, or, when some character has no ANSI form, its short (8.3)
// form, which is plain ASCII; empty when neither exists.
std::string AnsiPath(const std::filesystem::path& path) {
  const auto convert = [](const std::wstring& wide) -> std::string {
    if (wide.empty()) return {};
    BOOL lossy = FALSE;
    const int size =
        ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(),
                              static_cast<int>(wide.size()), nullptr, 0, nullptr, &lossy);
    if (size <= 0 || lossy) return {};
    std::string ansi(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                          ansi.data(), size, nullptr, &lossy);
    return lossy ? std::string() : ansi;
  };
  if (std::string ansi = convert(path.native()); !ansi.empty()) return ansi;
  std::wstring shortPath(32768, L'\0');
  const DWORD length =
      ::GetShortPathNameW(path.c_str(), shortPath.data(), static_cast<DWORD>(shortPath.size()));
  if (length == 0 || length >= shortPath.size()) return {};
  shortPath.resize(length);
  return convert(shortPath);
}

}  // namespace

ProfileIniFile::ProfileIniFile(std::filesystem::path path) {
  std::error_code ec;
  auto absolute = std::filesystem::absolute(path, ec);
  // A bare file name would send the profile functions to the Windows folder.
  path_ = ec ? std::move(path) : std::move(absolute);
  ansiPath_ = AnsiPath(path_);
}

void ProfileIniFile::CheckReadable() const {
  // The profile functions read a file they cannot open as an empty one; a file that exists but
  // cannot be read is an error, as on Linux.
  const DWORD attributes = ::GetFileAttributesW(path_.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return;
    throw PlatformError("Unable to read " + PathToUtf8(path_) + ": " + Win32ErrorText(error));
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    throw PlatformError("Unable to read " + PathToUtf8(path_) + ": " +
                        Win32ErrorText(ERROR_DIRECTORY));
  }
  UniqueHandle file(::CreateFileW(path_.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    throw PlatformError("Unable to read " + PathToUtf8(path_) + ": " +
                        Win32ErrorText(::GetLastError()));
  }
  if (ansiPath_.empty()) {
    throw PlatformError("Unable to read " + PathToUtf8(path_) +
                        ": its name cannot be written in the system's code page");
  }
}

std::vector<std::string> ProfileIniFile::ReadSections() const {
  CheckReadable();
  if (ansiPath_.empty()) return {};
  std::string buffer(4096, '\0');
  for (;;) {
    const DWORD length = ::GetPrivateProfileSectionNamesA(
        buffer.data(), static_cast<DWORD>(buffer.size()), ansiPath_.c_str());
    // A full buffer is reported as its size less two: then it grows and the call is repeated.
    if (length + 2 < buffer.size() || buffer.size() >= (1u << 26)) {
      buffer.resize(length);
      break;
    }
    buffer.assign(buffer.size() * 4, '\0');
  }
  std::vector<std::string> names;
  std::size_t begin = 0;
  while (begin < buffer.size()) {
    const std::size_t end = buffer.find('\0', begin);
    const std::size_t stop = end == std::string::npos ? buffer.size() : end;
    if (stop == begin) break;  // an empty name ends the double-NUL list
    names.push_back(buffer.substr(begin, stop - begin));
    begin = stop + 1;
  }
  return names;
}

std::string ProfileIniFile::ReadString(std::string_view section, std::string_view key,
                                       std::string_view defaultValue) const {
  CheckReadable();
  const std::string sectionName(section), keyName(key), fallback(defaultValue);
  if (ansiPath_.empty()) return fallback;
  std::string buffer(1024, '\0');
  for (;;) {
    const DWORD length = ::GetPrivateProfileStringA(
        sectionName.c_str(), keyName.c_str(), fallback.c_str(), buffer.data(),
        static_cast<DWORD>(buffer.size()), ansiPath_.c_str());
    // A value that fills the buffer is reported as its size less one.
    if (length + 1 < buffer.size() || buffer.size() >= (1u << 26)) {
      buffer.resize(length);
      return buffer;
    }
    buffer.assign(buffer.size() * 4, '\0');
  }
}

bool ProfileIniFile::HasKey(std::string_view section, std::string_view key) const {
  // The functions have no question for it: a key is there when two different defaults give the
  // same answer.
  return ReadString(section, key, "\x01\x02") == ReadString(section, key, "\x02\x01");
}

void ProfileIniFile::WriteString(std::string_view section, std::string_view key,
                                 std::string_view value) {
  const std::string failure = "Unable to write to " + PathToUtf8(path_);
  try {
    ini::CheckWritable(section, key, value);
  } catch (const std::invalid_argument& e) {
    throw PlatformError(failure + ": " + e.what());
  }
  if (ansiPath_.empty()) ansiPath_ = AnsiPath(path_);  // the short name exists once the file does
  if (ansiPath_.empty()) {
    throw PlatformError(failure + ": its name cannot be written in the system's code page");
  }
  const std::string sectionName(section), keyName(key), spelt = ini::Spelling(value);
  if (!::WritePrivateProfileStringA(sectionName.c_str(), keyName.c_str(), spelt.c_str(),
                                    ansiPath_.c_str())) {
    throw PlatformError(failure);
  }
  // Goes to the file at once, not at some later flush of the system's cache.
  ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, ansiPath_.c_str());
}

}  // namespace tv::platform
