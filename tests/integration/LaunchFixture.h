// One launch of the program, in process: a temporary home (the applications land in its data
// folder), a configuration file naming the service, and the forms created as the entry sequence
// creates them, with the launch window as the main window until the program ends. Every modal
// window is noted and closed as a user would; the main executable that the tests publish is a
// small script that notes its start in the application folder.
#pragma once

#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Application.h"
#include "DlgMessage.h"
#include "DlgSplashScreen.h"
#include "DownloadFileThread.h"
#include "DownloadTestSupport.h"
#include "LaunchFixtures.h"
#include "Main.h"
#include "UpdaterServiceLibrary_Intf.h"

namespace tv::testing {

// The main executable of the test applications: notes the folder it was started in.
inline const std::string kStartScript = "#!/bin/sh\npwd > started.txt\n";

class TScopedEnvironment {
 public:
  TScopedEnvironment(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~TScopedEnvironment() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  TScopedEnvironment(const TScopedEnvironment&) = delete;
  TScopedEnvironment& operator=(const TScopedEnvironment&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

struct TLaunchResult {
  std::vector<TShownWindow> shown;
  bool ended = false;       // the program ended by itself (not by the test's watchdog)
  bool appeared = false;    // the launch window was on the screen at some moment
  bool canClose = false;    // FCanClose when the program ended
  std::string label;        // Label7's text at the end
  std::string appFolder;    // FAppFolder
  std::string mainExeName;  // FMainExeName

  std::vector<std::string> Texts(TShownWindow::Kind kind) const {
    std::vector<std::string> texts;
    for (const auto& s : shown) {
      if (s.kind == kind) texts.push_back(s.text);
    }
    return texts;
  }
};

class LaunchFixture : public ::testing::Test {
 public:
  LaunchFixture()
      : home_(dir_.path() / "home"),
        homeEnv_("HOME", home_.string()),
        dataEnv_("XDG_DATA_HOME", (home_ / ".local/share").string()),
        openerEnv_("TV_OPENER", (dir_.path() / "opener.sh").string()) {
    std::filesystem::create_directories(home_ / ".local/share");
    // Stands for the desktop's opener: notes what it was asked to open.
    std::ofstream(dir_.path() / "opener.sh")
        << "#!/bin/sh\nprintf '%s' \"$1\" > '" << (dir_.path() / "opened.txt").string() << "'\n";
    std::filesystem::permissions(dir_.path() / "opener.sh", std::filesystem::perms::owner_all);
  }

  std::filesystem::path ConfigFile() const { return dir_.path() / "updater" / "TvUpdater.config"; }
  std::filesystem::path AppFolder(const std::string& uid) const {
    return home_ / ".local/share/Kestrov" / uid;
  }
  std::filesystem::path OpenedFile() const { return dir_.path() / "opened.txt"; }

  void WriteConfig(const std::string& serviceUrl) {
    std::filesystem::create_directories(ConfigFile().parent_path());
    std::ofstream(ConfigFile(), std::ios::binary)
        << "[Tolvara]\r\nServiceURL=" << serviceUrl << "\r\nThinClient=NO\r\n";
  }

  // Runs the program in launch mode for uid (cp1250) until it ends. whileShown runs once, as
  // soon as the launch window is on the screen.
  TLaunchResult Launch(const std::string& uid, const std::function<void()>& whileShown = {}) {
    TLaunchResult result;
    TApplication application;
    Application->Title = "Tolvara Updater";
    TModalRecorder recorder;
    Application->CreateForm(DownloadModule);
    Application->CreateForm(Form_Main, TForm_MainSettings{ConfigFile(), {}});
    Application->CreateForm(Form_DlgMessage);
    Application->CreateForm(Form_DlgSplashScreen);
    Application->SetMainForm(Form_DlgSplashScreen);
    Form_DlgSplashScreen->FApplicationIdentifier = uid;

    QTimer poll;
    poll.setInterval(2);
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (result.appeared || !Form_DlgSplashScreen || !Form_DlgSplashScreen->isVisible()) return;
      result.appeared = true;
      if (whileShown) whileShown();
    });
    poll.start();
    const TWatchdog watchdog(60000);
    Application->Run();
    result.ended = !watchdog.Fired();
    result.shown = recorder.Shown();
    result.canClose = Form_DlgSplashScreen->FCanClose;
    result.label = Form_DlgSplashScreen->Label7->text().toStdString();
    result.appFolder = Form_DlgSplashScreen->FAppFolder;
    result.mainExeName = Form_DlgSplashScreen->FMainExeName;
    Application->DestroyForms();
    return result;
  }

  // Waits (up to a few seconds) for the main executable to note its start in folder.
  static bool StartedIn(const std::filesystem::path& folder) {
    for (int i = 0; i < 300; ++i) {
      if (std::filesystem::exists(folder / "started.txt")) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  // A moment for a start that should not happen to show itself.
  static bool NothingStartedIn(const std::filesystem::path& folder) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return !std::filesystem::exists(folder / "started.txt");
  }

  TUpdaterServiceLibraryRegistration library_;
  tv::launch::testing::TempDir dir_;
  std::filesystem::path home_;
  TScopedEnvironment homeEnv_;
  TScopedEnvironment dataEnv_;
  TScopedEnvironment openerEnv_;
};

}  // namespace tv::testing
