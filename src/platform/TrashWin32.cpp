#include <system_error>

#include "PathText.h"
#include "Trash.h"
#include "Win32.h"

namespace tv::platform {
namespace {

// The full path for the shell, or empty for what must never be removed this way: nothing, a
// drive or share root, or a path that climbs with "..".
std::wstring Removable(const std::filesystem::path& path) {
  if (path.empty()) return {};
  for (const auto& step : path) {
    if (step == L"..") return {};
  }
  std::error_code ec;
  const std::filesystem::path full = std::filesystem::absolute(path, ec).lexically_normal();
  if (ec || full.empty() || full == full.root_path()) return {};
  std::wstring text = full.native();
  while (text.size() > 1 && (text.back() == L'\\' || text.back() == L'/')) text.pop_back();
  return text;
}

bool Exists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The shell's delete with undo: to the recycle bin where the volume has one, without progress
// window or question. The source list is any number of names each ended by NUL, the whole ended
// by another NUL; it is built at the path's own length, never cut.
bool ShellDelete(const std::wstring& path) {
  std::wstring list = path;
  list.push_back(L'\0');
  list.push_back(L'\0');
  SHFILEOPSTRUCTW operation{};
  operation.hwnd = nullptr;
  operation.wFunc = FO_DELETE;
  operation.pFrom = list.c_str();
  operation.pTo = nullptr;
  operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_NOERRORUI;
  return ::SHFileOperationW(&operation) == 0 && !operation.fAnyOperationsAborted && !Exists(path);
}

// Deletes path (the long-path form) with everything below it, one name at a time. A link or a
// junction is removed itself, never followed. (std::filesystem does not understand the "\\?\"
// form.)
bool RemoveTree(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    ::SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return ::DeleteFileW(path.c_str()) != FALSE;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    WIN32_FIND_DATAW entry{};
    const HANDLE search = ::FindFirstFileW((path + L"\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
      bool ok = true;
      do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        ok = RemoveTree(path + L"\\" + name) && ok;
      } while (::FindNextFileW(search, &entry));
      ::FindClose(search);
      if (!ok) return false;
    }
  }
  return ::RemoveDirectoryW(path.c_str()) != FALSE;
}

// The shell cannot take paths beyond MAX_PATH: those are deleted for good, through the long-path
// form that the file functions accept.
bool DeleteForGood(const std::wstring& path) {
  std::wstring longForm = path;
  if (!longForm.starts_with(L"\\\\?\\")) {
    longForm = longForm.starts_with(L"\\\\") ? L"\\\\?\\UNC\\" + longForm.substr(2)
                                             : L"\\\\?\\" + longForm;
  }
  return RemoveTree(longForm) && !Exists(longForm);
}

}  // namespace

bool MoveToTrash(const std::filesystem::path& path) {
  const std::wstring full = Removable(path);
  if (full.empty() || !Exists(full) || full.size() >= MAX_PATH) return false;
  return ShellDelete(full);
}

bool DeleteFolder(const std::filesystem::path& path) {
  const std::wstring full = Removable(path);
  if (full.empty()) return false;
  if (full.size() < MAX_PATH) return Exists(full) && ShellDelete(full);
  if (!Exists(L"\\\\?\\" + full)) return false;
  return DeleteForGood(full);
}

std::filesystem::path HomeTrashFolder() {
  return {};  // the recycle bin belongs to each volume and is the shell's business
}

}  // namespace tv::platform
