// The local manifest: the executables list that the launcher last received, stored in the
// application folder as one serialized WS_Array_Of_Files_executables (no header, no checksum;
// layout fixed by the stream encoding so files of earlier runs stay readable).
// SaveManifest replaces the file as a whole: the list is written beside it and renamed over it,
// so a failed write (full disk, no access) leaves the previous manifest, or none, never a torn
// one; it throws EROFileError. LoadManifest throws EROFileError when the file cannot be read and
// the serializer's EROException when its content cannot be decoded.
#pragma once

#include <filesystem>
#include <memory>

#include "UpdaterServiceLibrary_Types.h"

// Writes list as one array value (value name "ArrayOfFilesExecutables", not stored).
void SaveManifest(const std::filesystem::path& path, const WS_Array_Of_Files_executables& list);

// A new list read from the file; none when the file's first byte is 0 (the list is marked
// absent). Bytes after the last entry are ignored. Needs RegisterUpdaterServiceTypes().
std::unique_ptr<WS_Array_Of_Files_executables> LoadManifest(const std::filesystem::path& path);
