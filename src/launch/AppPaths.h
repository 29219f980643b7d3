// Where one application's files live on this workstation, and the check that keeps every name
// the update service sends (file names, locale names, the application identifier) inside that
// folder. Service names are cp1250 bytes with '\' or '/' between folders; on disk they become
// UTF-8 relative paths.
//
// Failures: EUnsafeName for a name that is empty, absolute, carries a drive letter or climbs out
// with ".."; ELaunchError when the application folder cannot be worked out at all.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tv::launch {

class ELaunchError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class EUnsafeName : public ELaunchError {
 public:
  using ELaunchError::ELaunchError;
};

// True when the cp1250 name can stand as one folder name: not empty, not "." or "..", no '\',
// '/', ':' and no control character; on Windows also none of * ? " < > | and no device name.
bool IsSafeFolderName(std::string_view cp1250Name);

// The application folder, ending in the delimiter: the thin-client root (the workstation's D:
// drive: "D:\\" on Windows, mounted at /mnt/d/ on Linux) + "Kestrov/<uid>/" for a thin client,
// otherwise appDataFolder + "/Kestrov/<uid>/". EUnsafeName when the identifier is no safe folder
// name; ELaunchError when appDataFolder is empty (no home folder to put the application in).
std::filesystem::path ApplicationFolder(bool thinClient, std::string_view appDataFolder,
                                        std::string_view cp1250Uid);

// The UTF-8 relative path that a service file name stands for, '\' and '/' both separating
// folders, empty and "." steps dropped. EUnsafeName for an empty result, an absolute name, a
// drive letter or any ':', a ".." step, a trailing separator or a control character; on Windows
// also a step that Windows cannot use as a file name (device names, * ? " < > |, a trailing dot).
std::filesystem::path SafeRelativePath(std::string_view cp1250Name);

}  // namespace tv::launch
