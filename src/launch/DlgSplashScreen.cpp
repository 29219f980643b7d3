#include "DlgSplashScreen.h"

#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QPalette>
#include <QProgressBar>
#include <QScreen>

#include "AppPaths.h"
#include "Application.h"
#include "CodePage1250.h"
#include "DlgMessage.h"
#include "DownloadFileThread.h"
#include "Images.h"
#include "KestrovUtils.h"
#include "LaunchArgument.h"
#include "LaunchFiles.h"
#include "LocalManifest.h"
#include "Main.h"
#include "ReflectionImage.h"
#include "SafeFolder.h"
#include "ShellExecute.h"
#include "Skin.h"
#include "UpdaterServiceLibrary_Types.h"

TForm_DlgSplashScreen* Form_DlgSplashScreen = nullptr;

namespace {

const char* const kServiceUnavailable = "Tolvara Updater servis nije dostupan.";
const char* const kCheckServiceStarted = "Proverite da li je servis startovan.";
const char* const kUpdateInProgress = "Ažuriranje sistema u toku!!!";
const char* const kTryLater = "Pokušajte kasnije.";
const char* const kApplicationMissing = "Aplikacija ne postoji. Pozovite administratora sistema.";
const char* const kApplicationInactive =
    "Aplikacija nije dostupna. Pozovite administratora sistema.";
const char* const kLoadApplicationFailed = "Greška prilikom učitavanja aplikacije.";
const char* const kProgramWillEnd = "Program će biti prekinut.";

void Report(const char* headline, const char* detail) {
  Form_DlgMessage->ShowDlgMessage(headline, detail, 1, true);
}

QFont Tahoma(int pixels) {
  QFont font(QStringLiteral("Tahoma"));
  font.setPixelSize(pixels);
  return font;
}

}  // namespace

TForm_DlgSplashScreen::TForm_DlgSplashScreen(QWidget* parent) : TForm(parent) {
  setWindowTitle(QStringLiteral("Tolvara Updater"));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(594, 112);
  setFont(Tahoma(11));
  QPalette background = palette();
  background.setColor(QPalette::Window, QColor(233, 241, 250));
  setPalette(background);
  setAutoFillBackground(true);

  AdvReflectionImage1 = new TReflectionImage(this);
  AdvReflectionImage1->setObjectName(QStringLiteral("AdvReflectionImage1"));
  AdvReflectionImage1->setGeometry(16, 7, 64, 97);
  AdvReflectionImage1->SetReflectionHeight(30);
  AdvReflectionImage1->SetPicture(tv::ui::ProductImage(64));

  Label7 = new QLabel(QStringLiteral("Start aplikacije"), this);
  Label7->setObjectName(QStringLiteral("Label7"));
  Label7->setFont(Tahoma(19));
  QPalette labelColour = Label7->palette();
  labelColour.setColor(QPalette::WindowText, QColor(61, 106, 163));
  Label7->setPalette(labelColour);
  Label7->setGeometry(86, 27, 122, 23);

  cxProgressBar1 = new QProgressBar(this);
  cxProgressBar1->setObjectName(QStringLiteral("cxProgressBar1"));
  cxProgressBar1->setGeometry(86, 64, 491, 21);
  cxProgressBar1->setRange(0, 100);
  cxProgressBar1->setValue(0);
  tv::framework::ApplySkin(cxProgressBar1);

  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }

  RegisterMessageHandler(WM_DOWNLOAD_START, [this](TMessage& m) { WMDownloadStart(m); });
  RegisterMessageHandler(WM_DOWNLOAD_FINISHED, [this](TMessage& m) { WMDownloadFinished(m); });
  RegisterMessageHandler(WM_DOWNLOAD_FILE_START, [this](TMessage& m) { WMDownloadFileStart(m); });
  RegisterMessageHandler(WM_DOWNLOAD_FILE_DONE, [this](TMessage& m) { WMDownloadFileDone(m); });
  RegisterMessageHandler(WM_DOWNLOAD_PART_DONE, [this](TMessage& m) { WMDownloadPartDone(m); });
}

TForm_DlgSplashScreen::~TForm_DlgSplashScreen() = default;

void TForm_DlgSplashScreen::FormShow() {
  if (FStarted) return;
  if (!Form_Main->CheckServiceEcho()) {
    Report(kServiceUnavailable, kCheckServiceStarted);
    FCanClose = true;
    Close();
    return;
  }
  if (!Form_Main->CheckServiceActive()) {
    Report(kUpdateInProgress, kTryLater);
    FCanClose = true;
    Close();
    return;
  }
  FStarted = true;
  StartApplication();
}

void TForm_DlgSplashScreen::FormCloseQuery(bool& CanClose) {
  CanClose = FCanClose;
}

void TForm_DlgSplashScreen::EndAfterError(const std::exception& error) {
  Application->ShowException(error);
  FCanClose = true;
  Application->Terminate();
}

void TForm_DlgSplashScreen::StartApplication() {
  const std::string uid =
      FApplicationIdentifier.value_or(tv::launch::FirstCommandLineArgument().value_or(""));
  std::unique_ptr<WS_Applications> application;
  std::unique_ptr<WS_Array_Of_Files_executables> executables;
  std::unique_ptr<WS_Array_Of_Applications_config_files> configurations;
  std::unique_ptr<WS_Array_Of_Application_locales> locales;
  if (!Form_Main->LoadApplication(uid, application, executables, configurations, locales)) return;

  if (!application || !executables || executables->Count() == 0 || !configurations ||
      configurations->Count() == 0) {
    Report(kApplicationMissing, kProgramWillEnd);
    Application->Terminate();
    return;
  }
  if (application->aktivan == "N") {
    Report(kApplicationInactive, kProgramWillEnd);
    Application->Terminate();
    return;
  }
  // Every name must stay inside the application folder before anything is written.
  try {
    tv::launch::CheckApplicationNames(*application, *executables, *configurations, locales.get());
  } catch (const tv::launch::EUnsafeName&) {
    Report(kLoadApplicationFailed, kProgramWillEnd);
    Application->Terminate();
    return;
  }

  Label7->setText(QStringLiteral("Start aplikacije: ") +
                  QString::fromStdString(tv::platform::Cp1250ToUtf8(application->naziv_ikonice)));
  Label7->adjustSize();
  Application->ProcessMessages();

  try {
    const std::filesystem::path appFolder = tv::launch::ApplicationFolder(
        IsThinClient(Form_Main->FThinClient), GetAppDataFolder(), application->uid_applications);
    FAppFolder = appFolder.string();
    // A missing application folder (deleted, or installed under another root) is created.
    const tv::launch::TSafeFolder folder = tv::launch::TSafeFolder::OpenOrCreate(appFolder);
    tv::launch::WriteConfigFiles(folder, *configurations);
    tv::launch::WriteLocaleFiles(folder, locales.get());

    FManifestPath = tv::launch::ManifestPath(appFolder, application->uid_applications);
    tv::launch::TManifestDecision decision =
        tv::launch::DecideDownload(FManifestPath, appFolder, *executables);
    FWorkingList = decision.WorkingList;
    FManifestPending = decision.Download;
    FMainExeName = tv::launch::MainExecutableName(*FWorkingList);

    if (decision.Download) {
      TDownloadApplicationDaemon::Launch(Handle(), Form_Main->FServiceURL, appFolder, FWorkingList,
                                         kChunkSize);
    } else {
      SendMessage(Handle(), WM_DOWNLOAD_FINISHED, 0, 0);
    }
  } catch (const std::exception& error) {
    EndAfterError(error);
  }
}

void TForm_DlgSplashScreen::WMDownloadStart(TMessage& Message) {
  (void)Message;
  FCanClose = false;
}

void TForm_DlgSplashScreen::WMDownloadFinished(TMessage& Message) {
  (void)Message;
  if (FManifestPending) {
    // Every file has arrived: only now may the manifest say so.
    try {
      tv::launch::CommitManifest(FManifestPath, *FWorkingList);
      FManifestPending = false;
    } catch (const std::exception& error) {
      EndAfterError(error);
      return;
    }
  }
  FCanClose = true;
  Close();
  std::filesystem::path target = FAppFolder;
  if (!FMainExeName.empty()) target /= tv::launch::SafeRelativePath(FMainExeName);
  tv::platform::ShellOpen(target.string(), FAppFolder);
}

void TForm_DlgSplashScreen::WMDownloadFileStart(TMessage& Message) {
  cxProgressBar1->setMaximum(static_cast<int32_t>(Message.WParam));
  Application->ProcessMessages();
}

void TForm_DlgSplashScreen::WMDownloadFileDone(TMessage& Message) {
  cxProgressBar1->setValue(static_cast<int32_t>(Message.WParam));
  Application->ProcessMessages();
}

void TForm_DlgSplashScreen::WMDownloadPartDone(TMessage& Message) {
  cxProgressBar1->setValue(cxProgressBar1->value() + static_cast<int32_t>(Message.WParam));
  Application->ProcessMessages();
}
