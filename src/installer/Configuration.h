// The program's configuration file "TvUpdater.config" beside the executable: an INI file read with
// the private-profile rules, of which only the first section counts. Values are kept exactly as
// read, as single-byte code page 1250 text.
//
// ReadConfigurationFile never throws: every outcome (file missing, no section, a failed read or
// write) comes back as data, together with the fields that were set before it, so the window can
// report it the way it must. StoreAppPath throws tv::platform::PlatformError
// ("Unable to write to <path>", "List index out of bounds (0)").
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

inline constexpr std::string_view kConfigurationFileName = "TvUpdater.config";
inline constexpr std::string_view kDefaultServiceURL = "http://127.0.0.1:8091/bin";
inline constexpr std::string_view kDefaultThinClient = "NO";
// Shown in the plain message box when the file is missing (UTF-8, 78 characters).
inline constexpr std::string_view kMissingConfigurationMessage =
    "Nije pronadjen konfiguracioni fajl \"TvUpdater.config\". Program će biti prekinu";

struct ConfigurationResult {
  enum class Outcome {
    Read,         // all three fields set
    FileMissing,  // nothing set; show `error` in the plain message box, then terminate
    NoSection,    // nothing set; `error` is "List index out of bounds (0)" for the error box
    Failed,       // `error` for the error box; the fields read before the failure are set
  };
  Outcome outcome = Outcome::Read;
  std::string error;
  // cp1250 bytes exactly as read (or the defaults); unset when the step was not reached.
  std::optional<std::string> ServiceURL;
  std::optional<std::string> ThinClient;
  std::optional<std::string> AppPath;
  bool appPathWritten = false;  // "App_Path" was missing and has been added to the file
};

// The folder of the running executable + "/TvUpdater.config".
std::filesystem::path ConfigurationFilePath();

// Reads the file at path. When the first section lacks "App_Path", the application-data folder
// (appDataFolder(), UTF-8, converted to the file's code page) is written under that key and
// becomes AppPath; a folder name the code page cannot hold is neither written nor used (AppPath
// stays empty and the next start tries again).
ConfigurationResult ReadConfigurationFile(
    const std::filesystem::path& path, const std::function<std::string()>& appDataFolder = nullptr);

// Writes "App_Path" = root (cp1250 bytes) into the first section of the file at path; does
// nothing when there is no file.
void StoreAppPath(const std::filesystem::path& path, const std::string& root);
