// The local manifest "<uid>.kvx" in the application folder: the executables list that the last
// complete download brought, and the decision whether the executables must be downloaded again.
//
// The manifest never claims files that did not arrive: when a download is needed the manifest is
// removed first, and CommitManifest writes it only after every file of the working list has
// arrived, so an interrupted download repeats itself at the next launch. A manifest that cannot be
// read or decoded counts as absent. Failures (a manifest that cannot be removed or written) throw
// the file layer's exception with the file's name and the reason.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "UpdaterServiceLibrary_Types.h"

namespace tv::launch {

// Equal counts and, position by position, equal uid_files_executables, file_name, file_version,
// upload_date, file_size and is_main_exe; file_description does not count. Two empty slots are
// equal, an empty slot and a record are not.
bool SameExecutables(const WS_Array_Of_Files_executables& fromService,
                     const WS_Array_Of_Files_executables& fromManifest);

// The manifest's path: the application folder + the cp1250 identifier (as UTF-8) + ".kvx".
std::filesystem::path ManifestPath(const std::filesystem::path& appFolder,
                                   const std::string& cp1250Uid);

// True when every listed file is a regular file in the application folder (a link does not
// count); stops at the first missing one.
bool AllExecutablesPresent(const std::filesystem::path& appFolder,
                           const WS_Array_Of_Files_executables& list);

// The service's list exactly as the manifest will store it: written by the serializer and read
// back, in memory.
std::unique_ptr<WS_Array_Of_Files_executables> AsStored(const WS_Array_Of_Files_executables& list);

struct TManifestDecision {
  // The list to download (when Download) and to take the main executable from; never none.
  std::shared_ptr<const WS_Array_Of_Files_executables> WorkingList;
  bool Download = false;
};

// The decision of one launch. Manifest readable, equal to the service's list and every file
// present: no download, the manifest's list. Equal but a file missing: download the manifest's
// list. Absent, unreadable or different: download the service's list as stored. Whenever the
// result is a download the manifest has been removed before this returns.
TManifestDecision DecideDownload(const std::filesystem::path& manifestPath,
                                 const std::filesystem::path& appFolder,
                                 const WS_Array_Of_Files_executables& serviceList);

// Writes the working list as the manifest once every file of it has arrived.
void CommitManifest(const std::filesystem::path& manifestPath,
                    const WS_Array_Of_Files_executables& workingList);

}  // namespace tv::launch
