// Small file helpers for the launch and install flows, GUI-free.
//
// The readers and writers throw FileError (a PlatformError that also carries the errno value) with
// a text that names the file and gives the system's reason, e.g.
//   Cannot create file "/home/u/.local/share/Kestrov/A/app.ini". Permission denied
// The folder helpers and the tests of existence report by their result and never throw.
// Paths carry their own encoding (make them with PathText.h); on Windows the error code is a Win32
// one and "symbolic link" means any reparse point (a link or a junction).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "PlatformError.h"

namespace tv::platform {

class FileError : public PlatformError {
 public:
  FileError(const std::string& message, int error) : PlatformError(message), error_(error) {}
  int error() const { return error_; }
  // The file (or a folder on its way) does not exist.
  bool NotFound() const;

 private:
  int error_;
};

// True for anything but a folder (symbolic links followed), like the Windows FileExists.
bool FileExists(const std::filesystem::path& path);
bool DirectoryExists(const std::filesystem::path& path);

// Creates one folder level; true when it was created now (false when it existed or failed).
bool CreateFolder(const std::filesystem::path& path);
// Creates every missing level; true when the folder exists afterwards.
bool CreateFolders(const std::filesystem::path& path);

// Creates or truncates path and writes bytes into it. A symbolic link at path is refused rather
// than followed (a link planted there cannot redirect the write), and so is anything that is not
// a regular file. New files get mode 0666 less the umask.
void WriteWholeFile(const std::filesystem::path& path, std::string_view bytes);

// The whole content of a file.
std::string ReadWholeFile(const std::filesystem::path& path);

// Replaces the content of path so that a failure leaves either the old or the new content, never
// a mix: the new bytes go to a file beside it that is renamed over it, keeping the old mode and
// owner. When the folder does not let us create that file, the file is rewritten in place after
// its space has been reserved. A symbolic link is followed to the file it names. A missing file
// is created (mode 0666 less the umask).
void ReplaceFileContents(const std::filesystem::path& path, std::string_view bytes);

// True when name can stand as one file or folder name inside a folder: not empty, not "." or
// "..", no '/' and no control character. On Windows also none of \ : * ? " < > |, no trailing
// dot or blank, and no device name (CON, NUL, COM1, LPT1, ... with or without an extension).
bool IsSafeFileName(std::string_view name);

// True for a name that Windows reads as a device rather than a file (CON, PRN, AUX, NUL, COM1-9,
// LPT1-9, with or without an extension, any letter case) or that it would silently change (a
// trailing dot or blank). The Windows file helpers refuse such names; elsewhere it only tells.
// Name is one step, UTF-8 or cp1250 (only ASCII matters).
bool IsWindowsReservedName(std::string_view name);

}  // namespace tv::platform
