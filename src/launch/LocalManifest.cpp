#include "LocalManifest.h"

#include <system_error>
#include <vector>

#include "AppPaths.h"
#include "CodePage1250.h"
#include "ManifestFile.h"
#include "PathText.h"
#include "ROStreamSerializer.h"
#include "SafeFolder.h"

namespace tv::launch {
namespace {

constexpr std::string_view kManifestValueName = "ArrayOfFilesExecutables";

bool SameEntry(const WS_Files_executables* a, const WS_Files_executables* b) {
  if (a == nullptr || b == nullptr) return a == b;
  return a->uid_files_executables == b->uid_files_executables && a->file_name == b->file_name &&
         a->file_version == b->file_version && a->upload_date == b->upload_date &&
         a->file_size == b->file_size && a->is_main_exe == b->is_main_exe;
}

// The manifest's list, or none when the file is absent or cannot be read or decoded.
std::unique_ptr<WS_Array_Of_Files_executables> TryLoadManifest(const std::filesystem::path& path) {
  std::error_code error;
  if (!std::filesystem::exists(std::filesystem::symlink_status(path, error))) return nullptr;
  try {
    return LoadManifest(path);
  } catch (const EROException&) {
    // Locked, truncated, damaged or foreign: the launch repairs it by a full download.
    return nullptr;
  }
}

void RemoveManifest(const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::remove(path, error);
  if (error) {
    throw EFileError("Cannot delete file \"" + tv::platform::PathToUtf8(path) + "\". " +
                     error.message() + ".");
  }
}

}  // namespace

bool SameExecutables(const WS_Array_Of_Files_executables& fromService,
                     const WS_Array_Of_Files_executables& fromManifest) {
  if (fromService.Count() != fromManifest.Count()) return false;
  for (int32_t i = 0; i < fromService.Count(); ++i) {
    if (!SameEntry(fromService.Items(i), fromManifest.Items(i))) return false;
  }
  return true;
}

std::filesystem::path ManifestPath(const std::filesystem::path& appFolder,
                                   const std::string& cp1250Uid) {
  return appFolder / tv::platform::PathFromCp1250(cp1250Uid + ".kvx");
}

bool AllExecutablesPresent(const std::filesystem::path& appFolder,
                           const WS_Array_Of_Files_executables& list) {
  for (int32_t i = 0; i < list.Count(); ++i) {
    const WS_Files_executables* entry = list.Items(i);
    if (entry == nullptr) continue;
    std::error_code error;
    const auto status =
        std::filesystem::symlink_status(appFolder / SafeRelativePath(entry->file_name), error);
    if (!std::filesystem::is_regular_file(status)) return false;
  }
  return true;
}

std::unique_ptr<WS_Array_Of_Files_executables> AsStored(const WS_Array_Of_Files_executables& list) {
  std::vector<uint8_t> bytes;
  {
    TROStreamSerializer writer(bytes);
    writer.WriteArray(kManifestValueName, &list, WS_Array_Of_Files_executables::StaticClass());
  }
  std::unique_ptr<TROArray> read;
  TROStreamSerializer reader{std::span<const uint8_t>(bytes)};
  reader.ReadArray(kManifestValueName, read, WS_Array_Of_Files_executables::StaticClass());
  return std::unique_ptr<WS_Array_Of_Files_executables>(
      static_cast<WS_Array_Of_Files_executables*>(read.release()));
}

TManifestDecision DecideDownload(const std::filesystem::path& manifestPath,
                                 const std::filesystem::path& appFolder,
                                 const WS_Array_Of_Files_executables& serviceList) {
  TManifestDecision decision;
  std::unique_ptr<WS_Array_Of_Files_executables> stored = TryLoadManifest(manifestPath);
  if (stored && SameExecutables(serviceList, *stored)) {
    decision.Download = !AllExecutablesPresent(appFolder, *stored);
    decision.WorkingList = std::move(stored);
  } else {
    decision.Download = true;
    decision.WorkingList = AsStored(serviceList);
  }
  if (decision.Download) RemoveManifest(manifestPath);
  return decision;
}

void CommitManifest(const std::filesystem::path& manifestPath,
                    const WS_Array_Of_Files_executables& workingList) {
  SaveManifest(manifestPath, workingList);
}

}  // namespace tv::launch
