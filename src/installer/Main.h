// The installer window: lists the applications the update service offers, lets the user tick
// some and choose an install root, and installs them (desktop entry + empty application folder).
//
// The same window exists, never shown, in launch mode too: it owns the program's configuration
// fields (read while it is created), the one service channel and message of the user-interface
// thread, and the availability checks and LoadApplication that the launch window calls.
//
// Failures: every service routine catches EROException only, reports it with ShowDlgMessage,
// requests termination and returns false; anything else reaches the framework's error box.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "Forms.h"
#include "MemApplications.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class QWidget;
class TROBinMessage;
class TROHTTPChannel;
class WS_Applications;
class WS_Array_Of_Files_executables;
class WS_Array_Of_Applications_config_files;
class WS_Array_Of_Application_locales;
class TInstallerHeader;
class TcxCheckGroup;

// Where the window's files are; empty members mean the running program's own (tests set them).
struct TForm_MainSettings {
  std::filesystem::path configurationFile;  // else "TvUpdater.config" beside the executable
  std::filesystem::path updaterExecutable;  // else the running executable (shortcut target)
};

class TForm_Main : public TForm {
  Q_OBJECT

 public:
  explicit TForm_Main(TForm_MainSettings settings = {}, QWidget* parent = nullptr);
  ~TForm_Main() override;

  // Components, under their designer names.
  TInstallerHeader* AdvSmoothPanel1 = nullptr;
  QLabel* AdvOfficeImage1 = nullptr;
  QLabel* Label7 = nullptr;
  QLabel* lbl_Version = nullptr;
  TcxCheckGroup* cxCheckGroup1 = nullptr;
  QWidget* Panel1 = nullptr;
  QLineEdit* cxButtonEdit1 = nullptr;
  QToolButton* cxButtonEdit1Button = nullptr;
  QPushButton* btn_Save = nullptr;
  QPushButton* btn_Cancel = nullptr;
  TMemApplications memApplications;
  std::unique_ptr<TROHTTPChannel> ROWinInetHTTPChannel1;
  std::unique_ptr<TROBinMessage> ROBinMessage1;

  // Set once while the window is created (ReadConfiguration); cp1250 bytes exactly as read.
  bool FStarted = false;
  std::string FThinClient;
  std::string FServiceURL;
  std::string FAppPath;

  void FormCreate() override;
  void ReadConfiguration();

  // Availability checks: one request each on a fresh proxy. False after a failed call means the
  // failure was reported and termination requested; false from an answer reports nothing.
  bool CheckServiceEcho();
  bool CheckServiceActive();

  // Get_Application for the launch flow; out values the reply lacks stay null. False when the
  // call failed (reported, termination requested).
  bool LoadApplication(const std::string& uid, std::unique_ptr<WS_Applications>& Applications,
                       std::unique_ptr<WS_Array_Of_Files_executables>& Executables,
                       std::unique_ptr<WS_Array_Of_Applications_config_files>& Configurations,
                       std::unique_ptr<WS_Array_Of_Application_locales>& Locales);

  void LoadApplicationsList();
  void InstallApplications();
  // ShortcutName and Arguments in UTF-8 (converted from the service's cp1250 values).
  bool CreateDesktopShortcut(const std::string& ShortcutName, const std::string& Arguments);

  // First showing: the two checks, then the folder box and the list; later showings do nothing.
  void FormShow() override;
  void btn_SaveClick();
  void btn_CancelClick();
  void cxButtonEdit1PropertiesButtonClick();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::filesystem::path ConfigurationFile() const;
  void LayoutPanel1();
  // Stores the install root as "App_Path" (cp1250) when the configuration file exists.
  void StoreInstallRoot(const std::string& root);

  TForm_MainSettings settings_;
  std::string startupFolder_;     // the working directory at start-up, the chooser's first folder
  std::string lastChosenFolder_;  // the folder chosen last in this run
};

// The one installer window, created at start-up in both modes; owned by the entry sequence.
extern TForm_Main* Form_Main;
