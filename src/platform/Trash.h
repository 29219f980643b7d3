// Moving files and folders to the desktop's trash (the freedesktop trash layout), and deleting a
// folder the way the shell does: to the trash where there is one, for good where there is none.
//
// The home trash is $XDG_DATA_HOME/Trash (else ~/.local/share/Trash); an item on another file
// system goes to the trash at the top of its own file system ($topdir/.Trash-$uid), because a
// rename cannot cross file systems. Paths of any length work: the path is walked one folder at a
// time. Symbolic links are moved or deleted themselves, never followed. Nothing here throws.
//
// On Windows the shell does it (SHFileOperationW, FO_DELETE with FOF_SILENT, FOF_NOCONFIRMATION
// and FOF_ALLOWUNDO): to the recycle bin where the volume has one. The shell takes no path longer
// than MAX_PATH; such a folder is deleted for good through the long-path form instead.
#pragma once

#include <filesystem>

namespace tv::platform {

// True when path now lies in a trash, with its .trashinfo record beside it; false when no trash
// could take it (the item is then untouched).
bool MoveToTrash(const std::filesystem::path& path);

// Moves the folder (or file) to the trash, or deletes it with all its content when no trash can
// take it. False when it did not exist or could not be removed, and for paths that must never be
// removed this way: empty, the root, or with a ".." component.
bool DeleteFolder(const std::filesystem::path& path);

// The home trash folder; empty when the user's data folder is unknown, and always on Windows.
std::filesystem::path HomeTrashFolder();

}  // namespace tv::platform
