// The user's special folders: on Linux as the freedesktop base-directory and user-dirs rules define
// them, on Windows as the shell reports them (SHGetFolderPathW), UTF-8 either way. Nothing here
// throws: a folder that cannot be determined is the empty string.
#pragma once

#include <string>

namespace tv::platform {

// $XDG_DATA_HOME when it is an absolute path, else $HOME/.local/share; no trailing '/'.
// Windows: CSIDL_APPDATA, no trailing '\'.
std::string AppDataFolder();

// XDG_DESKTOP_DIR from $XDG_CONFIG_HOME/user-dirs.dirs (default ~/.config), with $HOME
// expanded, else $HOME/Desktop; no trailing '/'. The folder need not exist.
// Windows: CSIDL_DESKTOPDIRECTORY.
std::string DesktopFolder();

// Where a thin client keeps its applications: the workstation's D: drive, "/mnt/d/" where Linux
// mounts it, "D:\" on Windows.
std::string ThinClientRoot();

// The user's home folder: $HOME, else the password database; empty when neither knows it.
// Windows: CSIDL_PROFILE.
std::string HomeFolder();

}  // namespace tv::platform
