#include "Configuration.h"

#include "CodePage1250.h"
#include "ExePath.h"
#include "FileUtil.h"
#include "Ini.h"
#include "KestrovUtils.h"
#include "PlatformError.h"

using tv::platform::IniFile;
using tv::platform::PlatformError;

namespace {

constexpr char kServiceURL[] = "ServiceURL";
constexpr char kThinClient[] = "ThinClient";
constexpr char kAppPath[] = "App_Path";

// The string list's error for taking item 0 of an empty list of sections.
const std::string kNoSection = "List index out of bounds (0)";

}  // namespace

std::filesystem::path ConfigurationFilePath() {
  return tv::platform::ExecutableFolder() / std::string(kConfigurationFileName);
}

ConfigurationResult ReadConfigurationFile(const std::filesystem::path& path,
                                          const std::function<std::string()>& appDataFolder) {
  const auto folder = [&] {
    const std::string utf8 = appDataFolder ? appDataFolder() : GetAppDataFolder();
    return tv::platform::Utf8ToCp1250(utf8);
  };
  ConfigurationResult result;
  if (!tv::platform::FileExists(path)) {
    result.outcome = ConfigurationResult::Outcome::FileMissing;
    result.error = std::string(kMissingConfigurationMessage);
    return result;
  }
  try {
    const IniFile ini(path);
    const auto sections = ini.ReadSections();
    if (sections.empty()) {
      result.outcome = ConfigurationResult::Outcome::NoSection;
      result.error = kNoSection;
      return result;
    }
    const std::string& first = sections.front();
    result.ServiceURL = ini.ReadString(first, kServiceURL, kDefaultServiceURL);
    result.ThinClient = ini.ReadString(first, kThinClient, kDefaultThinClient);
    if (ini.HasKey(first, kAppPath)) {
      result.AppPath = ini.ReadString(first, kAppPath, "");
      return result;
    }
    if (const auto written = folder()) {
      IniFile(path).WriteString(first, kAppPath, *written);
      result.appPathWritten = true;
    }
    // Asked again, as the value that is used.
    result.AppPath = folder().value_or(std::string());
  } catch (const PlatformError& e) {
    result.outcome = ConfigurationResult::Outcome::Failed;
    result.error = e.what();
  }
  return result;
}

void StoreAppPath(const std::filesystem::path& path, const std::string& root) {
  if (!tv::platform::FileExists(path)) return;
  IniFile ini(path);
  const auto sections = ini.ReadSections();
  if (sections.empty()) throw PlatformError(kNoSection);
  ini.WriteString(sections.front(), kAppPath, root);
}
