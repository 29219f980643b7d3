// The executables list that the manifest target's service sends, shared with the seed generator
// so that the seed corpus holds a manifest equal to it (and near misses of it).
#pragma once

#include <cstdint>

#include "UpdaterServiceLibrary_Types.h"

namespace tvfuzz {

inline constexpr const char* kManifestUid = "DEMO";

inline void AddManifestEntry(WS_Array_Of_Files_executables& list, const char* uid, const char* name,
                             std::int64_t size, const char* main, const char* description) {
  WS_Files_executables& e = list.AddNew();
  e.uid_files_executables = uid;
  e.file_name = name;
  e.file_version = "1.0.0.1";
  e.upload_date = 41263.5;
  e.is_main_exe = main;
  e.file_description = description;
  e.file_size = size;
}

inline void FillManifestServiceList(WS_Array_Of_Files_executables& list) {
  AddManifestEntry(list, "E1", "KestrovRacun.sh", 120, "D", "glavni program");
  AddManifestEntry(list, "E2", "lib\\Ra\xE8un.dat", 1048577, "N", "podaci \x9A\xE8");  // č; šč
  AddManifestEntry(list, "E3", "prazno.txt", 0, "", "");
}

}  // namespace tvfuzz
