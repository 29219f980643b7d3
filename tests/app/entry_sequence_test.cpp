// The entry sequence in this process (installer mode; the guard is left out because the tests
// of one binary run side by side): the windows' creation order and a missing configuration file.
#include <gtest/gtest.h>

#include <QString>
#include <filesystem>
#include <string>
#include <vector>

#include "DialogWatcher.h"
#include "DlgSplashScreen.h"
#include "DownloadFileThread.h"
#include "EntrySequence.h"
#include "Main.h"
#include "TempDir.h"

namespace {

TEST(EntrySequence, MissingConfigurationIsToldInThePlainBoxAndTheLaterReportEndsUnseen) {
  TempDir dir;
  TDialogWatcher watcher;
  struct Seen {
    bool module = false, main = false, dialog = true, splash = true;
  } seen;
  watcher.onReport = [&](const std::string&) {
    seen = {DownloadModule != nullptr, Form_Main != nullptr, Form_DlgMessage != nullptr,
            Form_DlgSplashScreen != nullptr};
  };
  TEntryOptions options;
  options.configurationFile = dir.path() / "TvUpdater.config";
  options.singleInstance = false;

  EXPECT_EQ(RunEntrySequence(options), 0);

  const std::string text =
      "Nije pronadjen konfiguracioni fajl \"TvUpdater.config\". Program će biti prekinu";
  EXPECT_EQ(QString::fromStdString(text).size(), 78);
  // Only the plain box: the availability check that follows fails at once (no service URL) and
  // its report ends without waiting, because termination has been requested already.
  EXPECT_EQ(watcher.Reports(), (std::vector<std::string>{"box:" + text}));
  // The box is shown while Form_Main is being created: after the data module, before the
  // message dialog and the launch window.
  EXPECT_TRUE(seen.module);
  EXPECT_TRUE(seen.main);
  EXPECT_FALSE(seen.dialog);
  EXPECT_FALSE(seen.splash);
  EXPECT_FALSE(std::filesystem::exists(options.configurationFile)) << "never created";
  // The exit sequence destroyed everything.
  EXPECT_EQ(Form_Main, nullptr);
  EXPECT_EQ(Form_DlgMessage, nullptr);
  EXPECT_EQ(DownloadModule, nullptr);
}

}  // namespace
