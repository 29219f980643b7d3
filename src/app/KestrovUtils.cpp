#include "KestrovUtils.h"

#include "ExeVersion.h"
#include "SpecialFolders.h"

std::string GetAppDataFolder() {
  return tv::platform::AppDataFolder();
}

std::string GetExeVersion() {
  std::string version = tv::platform::ExecutableVersion();
  return version.empty() ? "NEPOZNATA VERZIJA" : version;
}

bool IsThinClient(const std::string& value) {
  std::string upper = value;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper == "YES";
}
