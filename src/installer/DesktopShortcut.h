// The installer's desktop shortcut on Linux: a desktop entry "<name>.desktop" in the user's
// desktop folder that starts the updater with one application identifier, in the updater's own
// folder, with the updater's icon. An entry of the same name is replaced.
//
// Reports by its result and never throws: false for a name that cannot be a file name (empty,
// ".", "..", a '/' or a control character: nothing is written anywhere), for text a desktop
// entry cannot carry, and for a desktop folder that cannot be created or written.
#pragma once

#include <filesystem>
#include <string>

struct TShortcutTarget {
  std::filesystem::path updaterPath;  // the running updater's full path
  std::filesystem::path iconPath;     // the picture beside it ("TvUpdater.png")
};

// The target of an updater executable: its path and the icon beside it.
TShortcutTarget UpdaterTarget(const std::filesystem::path& updaterExecutable);
// The same for the running updater.
TShortcutTarget RunningUpdaterTarget();

// name and argument are UTF-8. The desktop folder is created when it is missing.
bool WriteDesktopShortcut(const std::filesystem::path& desktopFolder, const std::string& name,
                          const std::string& argument, const TShortcutTarget& target);
