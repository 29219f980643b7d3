// An open folder below which files are created and replaced without ever following a symbolic
// link: every step of a relative folder path is opened as a real folder (a link planted there is
// refused), and a file is written under a temporary name and renamed over its final name, so a
// link planted at the final name is replaced, never written through, and a failed write (full
// disk) leaves the previous file whole.
//
// On Windows the folder is held by its path and each step is checked as it is walked: a link or a
// junction there is refused; descriptors are the C runtime's (SafeFolderWin32.cpp).
//
// Failures throw EFileError, whose text names the file or folder and gives the system's reason.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "AppPaths.h"
#include "UniqueFd.h"

namespace tv::launch {

class EFileError : public ELaunchError {
 public:
  using ELaunchError::ELaunchError;
};

class TSafeFolder {
 public:
  // Opens path, creating it and its parents when missing. The path itself may pass through
  // links (a home folder that lives elsewhere); what lies below it may not.
  static TSafeFolder OpenOrCreate(const std::filesystem::path& path);

  // The folder relative (steps separated by the delimiter) below this one; missing steps are
  // created.
  // An empty path gives another handle on this folder.
  TSafeFolder Subfolder(const std::filesystem::path& relative) const;

  // Names are one step, UTF-8.
  // True when name is a real folder here (not a link to one).
  bool HasFolder(const std::string& name) const;
  // True when name is a regular file here (not a link to one).
  bool HasRegularFile(const std::string& name) const;

  // Writes bytes as the file name: a temporary file beside it, then renamed over it.
  void ReplaceFile(const std::string& name, std::span<const uint8_t> bytes,
                   bool executable = false) const;

  // A new file under name, created exclusively after removing whatever lay there (never a
  // link's target), opened for reading and writing.
  tv::platform::UniqueFd CreateExclusive(const std::string& name, bool executable) const;
  // Renames from over to, both in this folder (to may be a link, which is replaced).
  void Rename(const std::string& from, const std::string& to) const;
  // Removes the file name if it is there; failures are ignored.
  void RemoveQuietly(const std::string& name) const noexcept;

  const std::filesystem::path& Path() const noexcept { return FPath; }
  // The folder's descriptor (-1 on Windows, where the folder is held by its path).
  int Descriptor() const noexcept { return FFd.get(); }

 private:
  TSafeFolder(tv::platform::UniqueFd fd, std::filesystem::path path) noexcept
      : FFd(std::move(fd)), FPath(std::move(path)) {}
  tv::platform::UniqueFd FFd;
  std::filesystem::path FPath;
};

// The whole of a write to fd at offset, retried across short writes and interruptions.
// Throws EFileError naming path.
void WriteAllAt(int fd, const uint8_t* data, size_t size, int64_t offset,
                const std::filesystem::path& path);

}  // namespace tv::launch
