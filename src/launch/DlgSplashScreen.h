// The launch window: shown in launch mode as the main window. Its first showing runs the
// availability checks on Form_Main and then the launch flow (StartApplication): fetch the
// application, write its configuration and locale files, let the local manifest decide whether
// the executables must be downloaded, follow the download on its progress bar, and finally start
// the application's main executable and close, which ends the program.
//
// Failures are reported to the user (the message dialog, or the standard error box for a file
// that cannot be written) and the program then ends; the window never stays unclosable and
// nothing is started after a failure.
#pragma once

#include <memory>
#include <string>

#include "Forms.h"

class QLabel;
class QProgressBar;
class QWidget;
class WS_Array_Of_Files_executables;

class TForm_DlgSplashScreen : public TForm {
  Q_OBJECT

 public:
  explicit TForm_DlgSplashScreen(QWidget* parent = nullptr);
  ~TForm_DlgSplashScreen() override;

  // Components, under their designer names.
  QWidget* AdvReflectionImage1 = nullptr;
  QLabel* Label7 = nullptr;
  QProgressBar* cxProgressBar1 = nullptr;

  bool FStarted = false;
  bool FCanClose = false;
  std::string FMainExeName;  // cp1250, relative to FAppFolder, as the service named it
  std::string FAppFolder;    // UTF-8, ending in '/'

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
};

// The one launch window, created at start-up in both modes; owned by the entry sequence.
extern TForm_DlgSplashScreen* Form_DlgSplashScreen;
