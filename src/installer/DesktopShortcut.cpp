#include "DesktopShortcut.h"

#include <exception>

#include "DesktopEntry.h"
#include "ExePath.h"
#include "FileUtil.h"

TShortcutTarget UpdaterTarget(const std::filesystem::path& updaterExecutable) {
  return {updaterExecutable, updaterExecutable.parent_path() / "TvUpdater.png"};
}

TShortcutTarget RunningUpdaterTarget() {
  return UpdaterTarget(tv::platform::ExecutablePath());
}

bool WriteDesktopShortcut(const std::filesystem::path& desktopFolder, const std::string& name,
                          const std::string& argument, const TShortcutTarget& target) {
  // Checked before the folder is touched: a bad name writes nothing at all.
  if (!tv::platform::IsSafeFileName(name)) return false;
  try {
    if (!tv::platform::CreateFolders(desktopFolder)) return false;
    tv::platform::DesktopEntry entry;
    entry.name = name;
    entry.exec = {target.updaterPath.string(), argument};
    entry.path = target.updaterPath.parent_path().string();
    entry.icon = target.iconPath.string();
    return tv::platform::WriteDesktopEntry(desktopFolder, name, entry);
  } catch (const std::exception&) {
    return false;  // allocation or a path the system rejects: the shortcut was not saved
  }
}
