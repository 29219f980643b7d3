// The launch window: shown in launch mode as the main window. Its first showing runs the
// availability checks on Form_Main and then the launch flow (StartApplication): fetch the
// application, check every name it brings, write its configuration and locale files, let the
// local manifest decide whether the executables must be downloaded, follow the download on the
// progress bar, write the manifest once every file has arrived, and finally start the main
// executable and close, which ends the program.
//
// Failures are reported to the user (the message dialog, or the standard error box for a file
// that cannot be written) and the program then ends; the window never stays unclosable and
// nothing is started after a failure.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "Forms.h"

class QLabel;
class QProgressBar;
class TReflectionImage;
class WS_Array_Of_Files_executables;

class TForm_DlgSplashScreen : public TForm {
  Q_OBJECT

 public:
  explicit TForm_DlgSplashScreen(QWidget* parent = nullptr);
  ~TForm_DlgSplashScreen() override;

  // The part size of every download.
  static constexpr int32_t kChunkSize = 1048576;

  // Components, under their designer names.
  TReflectionImage* AdvReflectionImage1 = nullptr;
  QLabel* Label7 = nullptr;
  QProgressBar* cxProgressBar1 = nullptr;

  bool FStarted = false;
  bool FCanClose = false;
  std::string FMainExeName;  // cp1250, relative to FAppFolder, as the service named it
  std::string FAppFolder;    // UTF-8, ending in '/'

  // The identifier to launch (cp1250); when none, the first command-line argument is taken.
  std::optional<std::string> FApplicationIdentifier;

  // The launch flow; run by the first showing once both availability checks have passed.
  void StartApplication();

  // Handlers of the download messages (bound to WM_DOWNLOAD_START ... WM_DOWNLOAD_PART_DONE).
  void WMDownloadStart(TMessage& Message);
  void WMDownloadFinished(TMessage& Message);
  void WMDownloadFileStart(TMessage& Message);
  void WMDownloadFileDone(TMessage& Message);
  void WMDownloadPartDone(TMessage& Message);

 protected:
  void FormShow() override;
  void FormCloseQuery(bool& CanClose) override;

 private:
  // Reports a failure that left the flow in the standard error box and ends the program.
  void EndAfterError(const std::exception& error);

  // The list being downloaded, kept to become the manifest once every file has arrived.
  std::shared_ptr<const WS_Array_Of_Files_executables> FWorkingList;
  std::filesystem::path FManifestPath;
  bool FManifestPending = false;
};

// The one launch window, created at start-up in both modes; owned by the application object.
extern TForm_DlgSplashScreen* Form_DlgSplashScreen;
