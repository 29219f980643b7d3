// The Windows form of TSafeFolder: folders are walked by name one step at a time, and a step that
// is a reparse point (a symbolic link or a junction, which an unprivileged user can plant) is
// refused instead of followed. Files are written under a temporary name and moved over the final
// one (MoveFileExW replaces a link there, never writes through it). Descriptors are those of the
// C runtime, over handles opened with CreateFileW.
#include <fcntl.h>
#include <io.h>

#include <random>
#include <system_error>

#include "PathText.h"
#include "SafeFolder.h"
#include "Win32.h"

// windows.h names its ReplaceFileW function ReplaceFile; TSafeFolder has a method of that name.
#undef ReplaceFile

namespace tv::launch {

using tv::platform::PathFromUtf8;
using tv::platform::PathToUtf8;
using tv::platform::UniqueFd;

namespace {

[[noreturn]] void Fail(const char* what, const std::filesystem::path& path, DWORD error) {
  throw EFileError(std::string(what) + " \"" + PathToUtf8(path) + "\". " +
                   tv::platform::Win32ErrorText(error) + ".");
}

std::string TemporaryName(const std::string& name) {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  return "." + name + "." + std::to_string(random() % 1000000000ULL) + ".tmp";
}

DWORD Attributes(const std::filesystem::path& path) {
  return ::GetFileAttributesW(path.c_str());
}

bool IsRealFolder(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

}  // namespace

TSafeFolder TSafeFolder::OpenOrCreate(const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  if (error) Fail("Cannot create folder", path, static_cast<DWORD>(error.value()));
  if ((Attributes(path) & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
      Attributes(path) == INVALID_FILE_ATTRIBUTES) {
    Fail("Cannot open folder", path, ERROR_DIRECTORY);
  }
  return TSafeFolder(UniqueFd(), path);
}

TSafeFolder TSafeFolder::Subfolder(const std::filesystem::path& relative) const {
  std::filesystem::path currentPath = FPath;
  for (const auto& step : relative) {
    const std::wstring name = step.native();
    if (name.empty() || name == L".") continue;
    currentPath /= step;
    if (name == L".." || name.find_first_of(L"\\/:") != std::wstring::npos) {
      Fail("Cannot open folder", currentPath, ERROR_ACCESS_DENIED);
    }
    if (!::CreateDirectoryW(currentPath.c_str(), nullptr)) {
      const DWORD error = ::GetLastError();
      if (error != ERROR_ALREADY_EXISTS) Fail("Cannot create folder", currentPath, error);
    }
    // A file, a link or a junction where the folder belongs.
    if (!IsRealFolder(Attributes(currentPath))) {
      Fail("Cannot open folder", currentPath, ERROR_CANT_ACCESS_FILE);
    }
  }
  return TSafeFolder(UniqueFd(), currentPath);
}

bool TSafeFolder::HasFolder(const std::string& name) const {
  return IsRealFolder(Attributes(FPath / PathFromUtf8(name)));
}

bool TSafeFolder::HasRegularFile(const std::string& name) const {
  const DWORD attributes = Attributes(FPath / PathFromUtf8(name));
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

UniqueFd TSafeFolder::CreateExclusive(const std::string& name, bool) const {
  RemoveQuietly(name);
  const std::filesystem::path path = FPath / PathFromUtf8(name);
  HANDLE file =
      ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) Fail("Cannot create file", path, ::GetLastError());
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDWR | _O_BINARY);
  if (fd < 0) {
    ::CloseHandle(file);
    Fail("Cannot create file", path, ERROR_TOO_MANY_OPEN_FILES);
  }
  return UniqueFd(fd);
}

void TSafeFolder::Rename(const std::string& from, const std::string& to) const {
  const std::filesystem::path target = FPath / PathFromUtf8(to);
  if (!::MoveFileExW((FPath / PathFromUtf8(from)).c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    Fail("Cannot create file", target, ::GetLastError());
  }
}

void TSafeFolder::RemoveQuietly(const std::string& name) const noexcept {
  try {
    ::DeleteFileW((FPath / PathFromUtf8(name)).c_str());
  } catch (...) {
    // Nothing to remove when the name cannot even be formed.
  }
}

void TSafeFolder::ReplaceFile(const std::string& name, std::span<const uint8_t> bytes,
                              bool executable) const {
  const std::string temporary = TemporaryName(name);
  UniqueFd fd = CreateExclusive(temporary, executable);
  try {
    WriteAllAt(fd.get(), bytes.data(), bytes.size(), 0, FPath / PathFromUtf8(name));
    if (::_close(fd.release()) != 0)
      Fail("Cannot write file", FPath / PathFromUtf8(name), ERROR_WRITE_FAULT);
    Rename(temporary, name);
  } catch (...) {
    fd.reset();
    RemoveQuietly(temporary);
    throw;
  }
}

void WriteAllAt(int fd, const uint8_t* data, size_t size, int64_t offset,
                const std::filesystem::path& path) {
  const HANDLE file = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  if (file == INVALID_HANDLE_VALUE) Fail("Cannot write file", path, ERROR_INVALID_HANDLE);
  while (size > 0) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset) & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, size_t{1} << 30));
    DWORD written = 0;
    if (!::WriteFile(file, data, chunk, &written, &at)) {
      Fail("Cannot write file", path, ::GetLastError());
    }
    if (written == 0) Fail("Cannot write file", path, ERROR_DISK_FULL);
    data += written;
    size -= written;
    offset += written;
  }
}

}  // namespace tv::launch
