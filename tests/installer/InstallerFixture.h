// The installer window in a test: a temporary home (data, config and desktop folders), a
// configuration file of the test's own, the application object, Form_Main and Form_DlgMessage
// as the program creates them, and a way to run the window as the main window until it closes.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include "Application.h"
#include "DialogWatcher.h"
#include "DlgMessage.h"
#include "Ini.h"
#include "Main.h"
#include "TempDir.h"
#include "UpdaterServiceLibrary_Intf.h"

class TScopedEnv {
 public:
  TScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~TScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  TScopedEnv(const TScopedEnv&) = delete;
  TScopedEnv& operator=(const TScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

inline std::string ReadFileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class InstallerFixture : public ::testing::Test {
 protected:
  InstallerFixture()
      : home_(dir_.path() / "home"),
        homeEnv_("HOME", home_.string()),
        dataEnv_("XDG_DATA_HOME", (home_ / ".local/share").string()),
        configEnv_("XDG_CONFIG_HOME", (home_ / ".config").string()) {
    std::filesystem::create_directories(home_ / ".local/share");
    std::filesystem::create_directories(home_ / ".config");
    std::ofstream(home_ / ".config/user-dirs.dirs")
        << "XDG_DESKTOP_DIR=\"$HOME/Radna povr\xc5\xa1ina\"\n";
    application_ = std::make_unique<TApplication>();
    Application->Title = "Tolvara Updater";
  }
  ~InstallerFixture() override {
    Application->DestroyForms();
    application_.reset();
  }

  // A fresh application object, as a new run of the program has.
  void RestartApplication() {
    Application->DestroyForms();
    application_.reset();
    application_ = std::make_unique<TApplication>();
    Application->Title = "Tolvara Updater";
  }

  std::filesystem::path ConfigFile() const { return dir_.path() / "updater" / "TvUpdater.config"; }
  std::filesystem::path Desktop() const { return home_ / "Radna površina"; }

  // A configuration file with a first section of the given lines (cp1250 bytes).
  void WriteConfig(const std::string& lines) {
    std::filesystem::create_directories(ConfigFile().parent_path());
    std::ofstream(ConfigFile(), std::ios::binary) << "[Tolvara]\r\n" << lines;
  }
  std::optional<std::string> ConfigValue(const std::string& key) const {
    return tv::platform::ini::GetValue(ReadFileText(ConfigFile()), "Tolvara", key);
  }

  // The windows that the entry sequence creates around the installer, in its order.
  void CreateWindows() {
    Application->CreateForm(Form_Main, TForm_MainSettings{ConfigFile(), {}});
    Application->CreateForm(Form_DlgMessage);
  }

  // Runs the installer as the main window. whileShown runs once the window is on the screen;
  // the window is then closed with its cancel button. Returns whether the window ever appeared.
  bool RunInstaller(const std::function<void()>& whileShown = {}) {
    bool shown = false;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (shown || Form_Main == nullptr || !Form_Main->isVisible()) return;
      shown = true;
      poll.stop();
      if (whileShown) whileShown();
      Form_Main->btn_Cancel->click();
    });
    poll.start();
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] {
      ADD_FAILURE() << "the installer did not end in time";
      Application->Terminate();
    });
    guard.start(30000);
    Application->SetMainForm(Form_Main);
    Application->Run();
    return shown;
  }

  TempDir dir_;
  std::filesystem::path home_;
  TScopedEnv homeEnv_;
  TScopedEnv dataEnv_;
  TScopedEnv configEnv_;
  TUpdaterServiceLibraryRegistration serviceLibrary_;
  std::unique_ptr<TApplication> application_;
  TDialogWatcher watcher_;
};
