#include <algorithm>
#include <system_error>

#include "FileUtil.h"
#include "PathText.h"
#include "Win32.h"

namespace tv::platform {
namespace {

[[noreturn]] void Fail(const char* what, const std::filesystem::path& path, DWORD error) {
  throw FileError(std::string(what) + " \"" + PathToUtf8(path) + "\". " + Win32ErrorText(error),
                  static_cast<int>(error));
}

DWORD Attributes(const std::filesystem::path& path) {
  return ::GetFileAttributesW(path.c_str());
}

void WriteAll(HANDLE file, std::string_view bytes, const std::filesystem::path& path) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr)) {
      Fail("Cannot write file", path, ::GetLastError());
    }
    if (written == 0) Fail("Cannot write file", path, ERROR_DISK_FULL);
    done += written;
  }
}

// A name beside path for the new content; unique enough for one writer at a time per process.
std::filesystem::path TemporaryBeside(const std::filesystem::path& path) {
  std::filesystem::path temporary = path;
  temporary += L"." + std::to_wstring(::GetCurrentProcessId()) + L"." +
               std::to_wstring(::GetTickCount64()) + L".tmp";
  return temporary;
}

}  // namespace

bool FileError::NotFound() const {
  return error_ == ERROR_FILE_NOT_FOUND || error_ == ERROR_PATH_NOT_FOUND;
}

bool FileExists(const std::filesystem::path& path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const std::filesystem::path& path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CreateFolder(const std::filesystem::path& path) {
  return ::CreateDirectoryW(path.c_str(), nullptr) != FALSE;
}

bool CreateFolders(const std::filesystem::path& path) {
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  return DirectoryExists(path);
}

void WriteWholeFile(const std::filesystem::path& path, std::string_view bytes) {
  const DWORD attributes = Attributes(path);
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      throw FileError("Cannot create file \"" + PathToUtf8(path) +
                          "\". It is a symbolic link, which is not written through",
                      ERROR_CANT_ACCESS_FILE);
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      throw FileError("Cannot create file \"" + PathToUtf8(path) + "\". It is not a regular file",
                      ERROR_DIRECTORY);
    }
  }
  UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) Fail("Cannot create file", path, ::GetLastError());
  if (::GetFileType(file.get()) != FILE_TYPE_DISK) {
    throw FileError("Cannot create file \"" + PathToUtf8(path) + "\". It is not a regular file",
                    ERROR_INVALID_PARAMETER);
  }
  WriteAll(file.get(), bytes, path);
}

std::string ReadWholeFile(const std::filesystem::path& path) {
  UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD error = ::GetLastError();
    // Opening a folder is refused with "access denied"; say what it really is.
    Fail("Cannot open file", path, DirectoryExists(path) ? ERROR_DIRECTORY : error);
  }
  if (::GetFileType(file.get()) != FILE_TYPE_DISK)
    Fail("Cannot open file", path, ERROR_INVALID_PARAMETER);
  std::string content;
  char buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) {
      Fail("Cannot read file", path, ::GetLastError());
    }
    if (got == 0) break;
    content.append(buffer, got);
  }
  return content;
}

void ReplaceFileContents(const std::filesystem::path& path, std::string_view bytes) {
  // Windows follows a link to its target when the target is opened, so the target is what is
  // replaced; its attributes and security are kept by ReplaceFileW.
  std::error_code ec;
  std::filesystem::path target = path;
  if ((Attributes(path) & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
      Attributes(path) != INVALID_FILE_ATTRIBUTES) {
    const auto resolved = std::filesystem::canonical(path, ec);
    if (!ec) target = resolved;
  }
  const DWORD attributes = Attributes(target);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND) Fail("Cannot open file", target, error);
    UniqueHandle file(::CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) Fail("Cannot create file", target, ::GetLastError());
    WriteAll(file.get(), bytes, target);
    if (!::FlushFileBuffers(file.get())) Fail("Cannot write file", target, ::GetLastError());
    return;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    Fail("Cannot write file", target, ERROR_DIRECTORY);

  const std::filesystem::path temporary = TemporaryBeside(target);
  UniqueHandle file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_TEMPORARY, nullptr));
  if (!file) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_ACCESS_DENIED) Fail("Cannot write file", target, error);
    // The folder takes no new file (a protected program folder with a writable file in it):
    // the file is rewritten in place.
    UniqueHandle inPlace(::CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!inPlace) Fail("Cannot write file", target, ::GetLastError());
    WriteAll(inPlace.get(), bytes, target);
    if (!::SetEndOfFile(inPlace.get()) || !::FlushFileBuffers(inPlace.get())) {
      Fail("Cannot write file", target, ::GetLastError());
    }
    return;
  }
  try {
    WriteAll(file.get(), bytes, target);
    if (!::FlushFileBuffers(file.get())) Fail("Cannot write file", target, ::GetLastError());
    file.reset();
    if (!::ReplaceFileW(target.c_str(), temporary.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                        nullptr, nullptr) &&
        !::MoveFileExW(temporary.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      Fail("Cannot write file", target, ::GetLastError());
    }
  } catch (...) {
    file.reset();
    ::DeleteFileW(temporary.c_str());
    throw;
  }
}

bool IsSafeFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) return false;
    if (std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos) return false;
  }
  return !IsWindowsReservedName(name);
}

}  // namespace tv::platform
