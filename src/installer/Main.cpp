#include "Main.h"

#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QToolButton>
#include <QVBoxLayout>
#include <exception>
#include <stdexcept>
#include <vector>

#include "Application.h"
#include "ApplicationsList.h"
#include "CheckGroup.h"
#include "CodePage1250.h"
#include "Configuration.h"
#include "DesktopShortcut.h"
#include "Dialogs.h"
#include "DlgMessage.h"
#include "Images.h"
#include "InstallSteps.h"
#include "InstallerHeader.h"
#include "KestrovUtils.h"
#include "ROBinMessage.h"
#include "ROHTTPChannel.h"
#include "Skin.h"
#include "SpecialFolders.h"
#include "UpdaterServiceLibrary_Intf.h"

TForm_Main* Form_Main = nullptr;

namespace {

constexpr int kServiceTimeoutMs = 300000;

const char* const kServiceUnavailable = "Tolvara Updater servis nije dostupan.";
const char* const kCheckServiceStarted = "Proverite da li je servis startovan.";
const char* const kUpdateInProgress = "Ažuriranje sistema u toku!!!";
const char* const kTryLater = "Pokušajte kasnije.";
const char* const kProgramWillEnd = "Program će biti prekinut.";
const char* const kLoadApplicationFailed = "Greška prilikom učitavanja aplikacije.";
const char* const kLoadListFailed = "Greška prilikom učitavanja liste aplikacija.";
const char* const kInstallFailed = "Instalacija aplikacija nije uspela.";
const char* const kContactSupport = "Kontaktirajte Kestrov tehničku podršku.";
const char* const kChooseInstallFolder = "Izaberite folder u koji se aplikacije instaliraju.";
const char* const kInstalled = "Aplikacije su uspešno instalirane.";

QString FromCp1250(const std::string& bytes) {
  return QString::fromStdString(tv::platform::Cp1250ToUtf8(bytes));
}

QFont Tahoma(int pixels) {
  QFont font(QStringLiteral("Tahoma"));
  font.setPixelSize(pixels);
  return font;
}

void Report(const char* headline, const char* detail, int dlgType) {
  Form_DlgMessage->ShowDlgMessage(headline, detail, dlgType, true);
}

// Runs a button's handler: what it does not handle itself goes to the standard error box, as
// every error that escapes an event handler does.
template <class F>
void RunHandler(F&& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    if (Application) Application->ShowException(error);
  }
}

}  // namespace

TForm_Main::TForm_Main(TForm_MainSettings settings, QWidget* parent)
    : TForm(parent),
      ROWinInetHTTPChannel1(std::make_unique<TROHTTPChannel>()),
      ROBinMessage1(std::make_unique<TROBinMessage>()),
      settings_(std::move(settings)),
      startupFolder_(QDir::currentPath().toStdString()) {
  setWindowTitle(QStringLiteral("Tolvara Updater"));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  resize(484, 377);
  setFont(Tahoma(12));
  QPalette background = palette();
  background.setColor(QPalette::Window, QColor(233, 241, 250));
  setPalette(background);
  setAutoFillBackground(true);

  ROWinInetHTTPChannel1->SetUserAgent("RemObjects SDK");
  ROWinInetHTTPChannel1->SetTimeout(kServiceTimeoutMs);

  const QColor caption(61, 106, 163);
  AdvSmoothPanel1 = new TInstallerHeader(this);
  AdvOfficeImage1 = new QLabel(AdvSmoothPanel1);
  AdvOfficeImage1->setPixmap(tv::ui::ProductImage(48));
  AdvOfficeImage1->setGeometry(5, (TInstallerHeader::kHeight - 48) / 2, 48, 48);
  Label7 = new QLabel(QStringLiteral("Tolvara Updater"), AdvSmoothPanel1);
  Label7->setFont(Tahoma(19));
  Label7->move(59, 10);
  lbl_Version = new QLabel(AdvSmoothPanel1);
  lbl_Version->setFont(Tahoma(12));
  lbl_Version->setGeometry(59, 32, 400, 16);
  for (QLabel* label : {Label7, lbl_Version}) {
    QPalette text = label->palette();
    text.setColor(QPalette::WindowText, caption);
    label->setPalette(text);
  }
  Label7->adjustSize();

  cxCheckGroup1 = new TcxCheckGroup(QStringLiteral("Spisak dostupnih aplikacija"), this);

  Panel1 = new QWidget(this);
  Panel1->setFixedHeight(76);
  cxButtonEdit1 = new QLineEdit(Panel1);
  cxButtonEdit1->setReadOnly(true);
  cxButtonEdit1Button = new QToolButton(cxButtonEdit1);
  cxButtonEdit1Button->setText(QStringLiteral("..."));
  cxButtonEdit1Button->setCursor(Qt::PointingHandCursor);
  cxButtonEdit1Button->setToolTip(QStringLiteral("Izbor foldera za instalaciju"));
  btn_Save = new QPushButton(QStringLiteral("&Instaliraj aplikacije"), Panel1);
  btn_Save->setIcon(QIcon(tv::ui::GlyphDiskette()));
  btn_Save->setIconSize(QSize(tv::ui::kGlyphSize, tv::ui::kGlyphSize));
  btn_Save->setGeometry(10, 35, 239, 32);
  btn_Cancel = new QPushButton(QStringLiteral("&Zatvori program"), Panel1);
  btn_Cancel->setIcon(QIcon(tv::ui::GlyphBlueCross()));
  btn_Cancel->setIconSize(QSize(tv::ui::kGlyphSize, tv::ui::kGlyphSize));
  btn_Cancel->setGeometry(324, 35, 150, 32);
  for (QPushButton* button : {btn_Save, btn_Cancel}) {
    button->setCursor(Qt::PointingHandCursor);
    button->setAutoDefault(false);
  }

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 5);
  layout->setSpacing(0);
  layout->addWidget(AdvSmoothPanel1);
  auto* listArea = new QVBoxLayout;
  listArea->setContentsMargins(10, 10, 10, 0);
  listArea->addWidget(cxCheckGroup1);
  layout->addLayout(listArea, 1);
  layout->addWidget(Panel1);
  Panel1->installEventFilter(this);

  tv::framework::ApplySkin(this);
  // The skin pads buttons for captions; the edit's small ellipsis button needs the room itself.
  cxButtonEdit1Button->setStyleSheet(QStringLiteral("QToolButton { padding: 0px; }"));
  LayoutPanel1();

  // A plain window has no cancel button of its own: Escape presses btn_Cancel.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setContext(Qt::WindowShortcut);
  connect(escape, &QShortcut::activated, btn_Cancel, &QPushButton::click);
  connect(btn_Save, &QPushButton::clicked, this,
          [this] { RunHandler([this] { btn_SaveClick(); }); });
  connect(btn_Cancel, &QPushButton::clicked, this,
          [this] { RunHandler([this] { btn_CancelClick(); }); });
  connect(cxButtonEdit1Button, &QToolButton::clicked, this,
          [this] { RunHandler([this] { cxButtonEdit1PropertiesButtonClick(); }); });
}

TForm_Main::~TForm_Main() = default;

bool TForm_Main::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Panel1 && event->type() == QEvent::Resize) LayoutPanel1();
  return TForm::eventFilter(watched, event);
}

void TForm_Main::LayoutPanel1() {
  // The folder box stretches with the window; the buttons keep their places.
  const int width = std::max(Panel1->width() - 20, 100);
  cxButtonEdit1->setGeometry(10, 7, width, 21);
  const int buttonWidth = 22;
  cxButtonEdit1Button->setGeometry(cxButtonEdit1->width() - buttonWidth - 1, 1, buttonWidth,
                                   cxButtonEdit1->height() - 2);
  cxButtonEdit1->setTextMargins(0, 0, buttonWidth, 0);
}

std::filesystem::path TForm_Main::ConfigurationFile() const {
  if (!settings_.configurationFile.empty()) return settings_.configurationFile;
  return ConfigurationFilePath();
}

void TForm_Main::FormCreate() {
  lbl_Version->setText(QString::fromStdString("ver. " + GetExeVersion()));
  ReadConfiguration();
  FStarted = false;
}

void TForm_Main::ReadConfiguration() {
  const ConfigurationResult result = ReadConfigurationFile(ConfigurationFile());
  if (result.outcome == ConfigurationResult::Outcome::FileMissing) {
    // The message dialog does not exist yet: the framework's plain box.
    ShowMessage(result.error);
    Application->Terminate();
    return;
  }
  if (result.ServiceURL) FServiceURL = *result.ServiceURL;
  if (result.ThinClient) FThinClient = *result.ThinClient;
  if (result.AppPath) FAppPath = *result.AppPath;
  // Start-up goes on with the fields set so far; the error is shown in the standard error box.
  if (result.outcome != ConfigurationResult::Outcome::Read) throw std::runtime_error(result.error);
}

bool TForm_Main::CheckServiceEcho() {
  try {
    ROWinInetHTTPChannel1->SetTargetURL(FServiceURL);
    const auto service = CoUpdaterService::Create(*ROBinMessage1, *ROWinInetHTTPChannel1);
    return service->Echo();
  } catch (const EROException&) {
    Report(kServiceUnavailable, kCheckServiceStarted, 1);
    Application->Terminate();
    return false;
  }
}

bool TForm_Main::CheckServiceActive() {
  try {
    ROWinInetHTTPChannel1->SetTargetURL(FServiceURL);
    const auto service = CoUpdaterService::Create(*ROBinMessage1, *ROWinInetHTTPChannel1);
    return service->Service_IsActive();
  } catch (const EROException&) {
    // A failed call is an unavailable service, not an update in progress.
    Report(kServiceUnavailable, kCheckServiceStarted, 1);
    Application->Terminate();
    return false;
  }
}

bool TForm_Main::LoadApplication(
    const std::string& uid, std::unique_ptr<WS_Applications>& Applications,
    std::unique_ptr<WS_Array_Of_Files_executables>& Executables,
    std::unique_ptr<WS_Array_Of_Applications_config_files>& Configurations,
    std::unique_ptr<WS_Array_Of_Application_locales>& Locales) {
  try {
    ROWinInetHTTPChannel1->SetTargetURL(FServiceURL);
    const auto service = CoUpdaterService::Create(*ROBinMessage1, *ROWinInetHTTPChannel1);
    // The flow judges the reply by the four values, not by the Boolean result.
    service->Get_Application(uid, Applications, Executables, Configurations, Locales);
    return true;
  } catch (const EROException&) {
    Report(kLoadApplicationFailed, kProgramWillEnd, 1);
    Application->Terminate();
    return false;
  }
}

void TForm_Main::FormShow() {
  if (FStarted) return;
  if (!CheckServiceEcho()) {
    Report(kServiceUnavailable, kCheckServiceStarted, 1);
    Application->Terminate();
    return;
  }
  if (!CheckServiceActive()) {
    Report(kUpdateInProgress, kTryLater, 1);
    Application->Terminate();
    return;
  }
  FStarted = true;
  cxButtonEdit1->setText(FromCp1250(FAppPath));
  LoadApplicationsList();
}

void TForm_Main::LoadApplicationsList() {
  try {
    ROWinInetHTTPChannel1->SetTargetURL(FServiceURL);
    const auto service = CoUpdaterService::Create(*ROBinMessage1, *ROWinInetHTTPChannel1);
    const std::unique_ptr<WS_Array_Of_Applications> list = service->Get_Applications_List("D");
    FillApplications(memApplications, list.get());
    cxCheckGroup1->BeginUpdate();
    cxCheckGroup1->Clear();
    for (std::size_t i = 0; i < memApplications.RecordCount(); ++i) {
      const int id = cxCheckGroup1->AddItem(FromCp1250(ItemCaption(memApplications.Rows()[i])));
      memApplications.SetId(i, id);
    }
    cxCheckGroup1->EndUpdate();
  } catch (const EROException&) {
    cxCheckGroup1->EndUpdate();
    Report(kLoadListFailed, kProgramWillEnd, 1);
    Application->Terminate();
  }
}

bool TForm_Main::CreateDesktopShortcut(const std::string& ShortcutName,
                                       const std::string& Arguments) {
  const TShortcutTarget target = settings_.updaterExecutable.empty()
                                     ? RunningUpdaterTarget()
                                     : UpdaterTarget(settings_.updaterExecutable);
  return WriteDesktopShortcut(tv::platform::DesktopFolder(), ShortcutName, Arguments, target);
}

void TForm_Main::InstallApplications() {
  std::vector<TInstallItem> items;
  for (int i = 0; i < cxCheckGroup1->Count(); ++i) {
    if (!cxCheckGroup1->Checked(i)) continue;
    const auto row = memApplications.FindById(cxCheckGroup1->ItemId(i));
    if (!row) continue;
    items.push_back({tv::platform::Cp1250ToUtf8(row->uid_applications),
                     tv::platform::Cp1250ToUtf8(row->naziv_ikonice)});
  }
  const std::string root =
      InstallRootAsChosen(IsThinClient(FThinClient), cxButtonEdit1->text().toStdString());
  const TInstallOutcome outcome =
      InstallItems(items, root, [this](const std::string& name, const std::string& uid) {
        return CreateDesktopShortcut(name, uid);
      });
  switch (outcome.stop) {
    case TInstallOutcome::Stop::None:
      break;
    case TInstallOutcome::Stop::NoInstallRoot:
      Report(kInstallFailed, kChooseInstallFolder, 1);
      return;
    case TInstallOutcome::Stop::ShortcutFailed:
    case TInstallOutcome::Stop::UnsafeIdentifier:
      Report(kInstallFailed, kContactSupport, 1);
      return;
  }
  Report(kInstalled, "", 0);
  StoreInstallRoot(root);
}

void TForm_Main::StoreInstallRoot(const std::string& root) {
  // The configuration file is cp1250 like everything the service and the file exchange; a
  // folder whose name that code page cannot spell is not stored rather than stored garbled.
  const std::optional<std::string> bytes = tv::platform::Utf8ToCp1250(root);
  if (!bytes) {
    throw std::runtime_error("Folder \"" + root +
                             "\" ne može da se zapiše u konfiguracioni fajl i nije zapamćen.");
  }
  StoreAppPath(ConfigurationFile(), *bytes);
}

void TForm_Main::btn_SaveClick() {
  InstallApplications();
}

void TForm_Main::btn_CancelClick() {
  Close();
}

void TForm_Main::cxButtonEdit1PropertiesButtonClick() {
  const std::string start = lastChosenFolder_.empty() ? startupFolder_ : lastChosenFolder_;
  QFileDialog FolderDialog1(this, QStringLiteral("Izaberite folder za instalaciju aplikacija"),
                            QString::fromStdString(start));
  FolderDialog1.setFileMode(QFileDialog::Directory);
  FolderDialog1.setOption(QFileDialog::ShowDirsOnly, true);
  if (Application->ExecModal(FolderDialog1) != QDialog::Accepted) return;
  const QStringList chosen = FolderDialog1.selectedFiles();
  if (chosen.isEmpty()) return;
  std::string folder = chosen.front().toStdString();
  lastChosenFolder_ = folder;
  cxButtonEdit1->setText(QString::fromStdString(WithDelimiter(folder)));
}
