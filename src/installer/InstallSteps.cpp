#include "InstallSteps.h"

#include <filesystem>

#include "FileUtil.h"
#include "SpecialFolders.h"
#include "Trash.h"

namespace fs = std::filesystem;

namespace {

bool IsBlankOrControl(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u <= 0x20 || u == 0x7f;
}

}  // namespace

std::string TrimFolderText(std::string_view text) {
  while (!text.empty() && IsBlankOrControl(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlankOrControl(text.back())) text.remove_suffix(1);
  return std::string(text);
}

std::string InstallRootAsChosen(bool thinClient, std::string_view folderBoxText) {
  if (thinClient) {
    std::string root = tv::platform::ThinClientRoot();
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    return root;
  }
  return TrimFolderText(folderBoxText);
}

std::string WithDelimiter(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

void PrepareApplicationFolder(const std::string& rootDir, const std::string& uid) {
  // Every step may fail (a root that does not exist, no rights); the run goes on regardless and
  // the launcher reports a missing folder when it first writes into it.
  const fs::path maker = fs::path(rootDir + "Kestrov");
  const fs::path appFolder = maker / uid;
  if (!tv::platform::DirectoryExists(maker)) tv::platform::CreateFolder(maker);
  if (tv::platform::DirectoryExists(appFolder)) tv::platform::DeleteFolder(appFolder);
  tv::platform::CreateFolder(appFolder);
}

TInstallOutcome InstallItems(const std::vector<TInstallItem>& items,
                             const std::string& rootAsChosen, const TShortcutMaker& makeShortcut) {
  TInstallOutcome outcome;
  for (const auto& item : items) {
    if (rootAsChosen.empty()) {
      outcome.stop = TInstallOutcome::Stop::NoInstallRoot;
      outcome.failedName = item.naziv_ikonice;
      return outcome;
    }
    if (!tv::platform::IsSafeFileName(item.uid_applications)) {
      outcome.stop = TInstallOutcome::Stop::UnsafeIdentifier;
      outcome.failedName = item.naziv_ikonice;
      return outcome;
    }
    if (!makeShortcut(item.naziv_ikonice, item.uid_applications)) {
      outcome.stop = TInstallOutcome::Stop::ShortcutFailed;
      outcome.failedName = item.naziv_ikonice;
      return outcome;
    }
    PrepareApplicationFolder(WithDelimiter(rootAsChosen), item.uid_applications);
    ++outcome.installed;
  }
  return outcome;
}
