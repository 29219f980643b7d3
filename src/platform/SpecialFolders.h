// The user's special folders, as the freedesktop base-directory and user-dirs rules define them.
// Nothing here throws: a folder that cannot be determined is the empty string.
#pragma once

#include <string>

namespace tv::platform {

// $XDG_DATA_HOME when it is an absolute path, else $HOME/.local/share; no trailing '/'.
std::string AppDataFolder();

// XDG_DESKTOP_DIR from $XDG_CONFIG_HOME/user-dirs.dirs (default ~/.config), with $HOME
// expanded, else $HOME/Desktop; no trailing '/'. The folder need not exist.
std::string DesktopFolder();

// Where a thin client keeps its applications: the workstation's mounted D: drive, "/mnt/d/".
std::string ThinClientRoot();

// The user's home folder: $HOME, else the password database; empty when neither knows it.
std::string HomeFolder();

}  // namespace tv::platform
