// The files that a launch writes into the application folder before it looks at the executables:
// the configuration files (rewritten at every launch) and the locale files (written only when
// missing), and the checks that come before any of it: every name the service sent must stay
// inside the application folder.
//
// Failures: EUnsafeName from CheckApplicationNames; EFileError (file or folder named, with the
// system's reason) from the writers. A failed write leaves the file that was there before whole.
#pragma once

#include <filesystem>
#include <string>

#include "SafeFolder.h"
#include "UpdaterServiceLibrary_Types.h"

namespace tv::launch {

// Throws EUnsafeName for the first name that cannot be used: the application identifier (one
// folder name), a file_name of the executables or the configuration files, a locale_name (one
// folder name) or a locale_file_name. Empty slots are skipped; locales may be none.
void CheckApplicationNames(const WS_Applications& application,
                           const WS_Array_Of_Files_executables& executables,
                           const WS_Array_Of_Applications_config_files& configurations,
                           const WS_Array_Of_Application_locales* locales);

// Each configuration file's content replaces the file of its name (an absent content gives an
// empty file); missing subfolders are created.
void WriteConfigFiles(const TSafeFolder& appFolder,
                      const WS_Array_Of_Applications_config_files& configurations);

// Creates "locale" and, for each locale, "locale/<locale_name>/LC_MESSAGES" where missing, and
// writes each locale file that is not there yet; an existing locale file is never replaced.
void WriteLocaleFiles(const TSafeFolder& appFolder, const WS_Array_Of_Application_locales* locales);

// file_name (cp1250) of the first entry whose is_main_exe is exactly "D"; empty when none is.
std::string MainExecutableName(const WS_Array_Of_Files_executables& list);

}  // namespace tv::launch
