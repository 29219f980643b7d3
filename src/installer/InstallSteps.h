// The install steps of the installer window as plain functions, so they run without a window:
// the install root, the check that a service value may name a file, the maker and application
// folders, and the loop over the ticked applications with its stop at a failed shortcut.
//
// Folder steps report nothing (a root that does not exist leaves the folder missing and the run
// goes on); the loop returns which application stopped it and why, and the caller reports that.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The folder box's text without leading and trailing blanks and control characters.
std::string TrimFolderText(std::string_view text);

// The install root as chosen, with no delimiter added: the thin-client root ("/mnt/d", the
// workstation's mounted D: drive), or the trimmed folder box text. This is also what "App_Path"
// receives after a run.
std::string InstallRootAsChosen(bool thinClient, std::string_view folderBoxText);

// path with a '/' appended when it does not end in one.
std::string WithDelimiter(std::string path);

// The maker folder "<root>Kestrov" (created when missing, one level) and a fresh, empty
// application folder "<root>Kestrov/<uid>" (an existing one goes to the trash first). rootDir
// ends in '/'; uid must be a safe path component. Results of the steps are ignored.
void PrepareApplicationFolder(const std::string& rootDir, const std::string& uid);

// One ticked application, in UTF-8 (converted from the service's cp1250 values).
struct TInstallItem {
  std::string uid_applications;
  std::string naziv_ikonice;
};

struct TInstallOutcome {
  enum class Stop { None, ShortcutFailed, UnsafeIdentifier, NoInstallRoot };
  Stop stop = Stop::None;
  std::size_t installed = 0;  // applications fully handled before the stop (or all of them)
  std::string failedName;     // naziv_ikonice of the application that stopped the run
};

// Creates the desktop shortcut (display name, argument); true when it was saved.
using TShortcutMaker = std::function<bool(const std::string& name, const std::string& uid)>;

// Installs the items in order: shortcut, then folders. Stops at the first item whose identifier
// cannot be a folder name, whose shortcut fails, or when the root is empty for a non-thin client
// (there is nowhere sensible to install); items after the stop are not touched and nothing
// installed before it is rolled back.
TInstallOutcome InstallItems(const std::vector<TInstallItem>& items,
                             const std::string& rootAsChosen, const TShortcutMaker& makeShortcut);
