// Windows shell links (.lnk files): the desktop shortcut that starts a program with arguments in
// a working folder. Made with the shell link object (CLSID_ShellLink: IShellLinkW, IPersistFile)
// in a single-threaded COM apartment. Windows only.
//
// CreateShellLink reports by its result and never throws: false when the shell link object cannot
// be made or the file cannot be saved (a name that is no file name, a folder that cannot be
// written). ReadShellLink gives std::nullopt for a file that is no readable link.
#pragma once

#ifdef _WIN32

#include <filesystem>
#include <optional>
#include <string>

namespace tv::platform {

// COM initialised as a single-threaded apartment on this thread for the owner's lifetime, as the
// shell link object needs it. Harmless when the thread is already in an apartment.
class ComApartment {
 public:
  ComApartment();
  ~ComApartment();
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool initialised_ = false;
};

struct ShellLinkSettings {
  std::filesystem::path target;  // the program's full path
  std::wstring arguments;        // exactly as passed to the program, no quoting added
  std::filesystem::path workingFolder;
};

// Writes link (an existing file of that name is deleted first). Description, icon, hot key and
// show command stay at the shell's defaults. Joins a COM apartment for the call when the thread
// has none.
bool CreateShellLink(const std::filesystem::path& link, const ShellLinkSettings& settings);

// What a link file says, read back through the same shell link object.
std::optional<ShellLinkSettings> ReadShellLink(const std::filesystem::path& link);

}  // namespace tv::platform

#endif
