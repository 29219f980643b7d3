#include "LaunchFiles.h"

#include "AppPaths.h"
#include "CodePage1250.h"
#include "PathText.h"

namespace tv::launch {
namespace {

void CheckFolderName(const std::string& cp1250Name, const char* what) {
  if (!IsSafeFolderName(cp1250Name)) {
    throw EUnsafeName(std::string("The ") + what + " \"" + tv::platform::Cp1250ToUtf8(cp1250Name) +
                      "\" from the update service cannot name a folder.");
  }
}

// Writes relative (already checked) below folder, creating its subfolders.
void Replace(const TSafeFolder& folder, const std::filesystem::path& relative,
             std::span<const uint8_t> bytes) {
  folder.Subfolder(relative.parent_path())
      .ReplaceFile(tv::platform::PathToUtf8(relative.filename()), bytes);
}

}  // namespace

void CheckApplicationNames(const WS_Applications& application,
                           const WS_Array_Of_Files_executables& executables,
                           const WS_Array_Of_Applications_config_files& configurations,
                           const WS_Array_Of_Application_locales* locales) {
  CheckFolderName(application.uid_applications, "application identifier");
  for (int32_t i = 0; i < executables.Count(); ++i) {
    if (const auto* entry = executables.Items(i)) SafeRelativePath(entry->file_name);
  }
  for (int32_t i = 0; i < configurations.Count(); ++i) {
    if (const auto* entry = configurations.Items(i)) SafeRelativePath(entry->file_name);
  }
  if (locales == nullptr) return;
  for (int32_t i = 0; i < locales->Count(); ++i) {
    const WS_Application_locales* locale = locales->Items(i);
    if (locale == nullptr) continue;
    CheckFolderName(locale->locale_name, "locale name");
    if (!locale->has_locale_files()) continue;
    const WS_Array_Of_Locale_files& files = locale->locale_files();
    for (int32_t j = 0; j < files.Count(); ++j) {
      if (const auto* file = files.Items(j)) SafeRelativePath(file->locale_file_name);
    }
  }
}

void WriteConfigFiles(const TSafeFolder& appFolder,
                      const WS_Array_Of_Applications_config_files& configurations) {
  for (int32_t i = 0; i < configurations.Count(); ++i) {
    const WS_Applications_config_files* entry = configurations.Items(i);
    if (entry == nullptr) continue;
    Replace(appFolder, SafeRelativePath(entry->file_name), entry->config_file().Bytes());
  }
}

void WriteLocaleFiles(const TSafeFolder& appFolder,
                      const WS_Array_Of_Application_locales* locales) {
  // "locale" exists even for an application without locales.
  const TSafeFolder localeRoot = appFolder.Subfolder("locale");
  if (locales == nullptr) return;
  for (int32_t i = 0; i < locales->Count(); ++i) {
    const WS_Application_locales* locale = locales->Items(i);
    if (locale == nullptr) continue;
    // LC_MESSAGES is created also below a locale folder that exists without it.
    const TSafeFolder messages =
        localeRoot.Subfolder(tv::platform::PathFromCp1250(locale->locale_name) / "LC_MESSAGES");
    if (!locale->has_locale_files()) continue;
    const WS_Array_Of_Locale_files& files = locale->locale_files();
    for (int32_t j = 0; j < files.Count(); ++j) {
      const WS_Locale_files* file = files.Items(j);
      if (file == nullptr) continue;
      const std::filesystem::path relative = SafeRelativePath(file->locale_file_name);
      const TSafeFolder target = messages.Subfolder(relative.parent_path());
      const std::string name = tv::platform::PathToUtf8(relative.filename());
      if (target.HasRegularFile(name)) continue;
      target.ReplaceFile(name, file->locale_file().Bytes());
    }
  }
}

std::string MainExecutableName(const WS_Array_Of_Files_executables& list) {
  for (int32_t i = 0; i < list.Count(); ++i) {
    const WS_Files_executables* entry = list.Items(i);
    if (entry != nullptr && entry->is_main_exe == "D") return entry->file_name;
  }
  return {};
}

}  // namespace tv::launch
