#include "DlgMessage.h"

#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <deque>

#include "Application.h"
#include "FxDimmer.h"
#include "HtmlLabel.h"
#include "Images.h"
#include "ReflectionImage.h"
#include "Skin.h"
#include "Thread.h"

TForm_DlgMessage* Form_DlgMessage = nullptr;

namespace {

constexpr int kClientWidth = 494;
constexpr int kClientHeight = 174;
const QColor kPanelColour(233, 241, 250);

QFont Tahoma(int pixels) {
  QFont font(QStringLiteral("Tahoma"));
  font.setPixelSize(pixels);
  return font;
}

}  // namespace

std::array<std::string, 3> DlgMessageLines(const std::string& headline, const std::string& detail) {
  return {
      "<p align=\"left\"><FONT color=\"#000000\"  size=\"12\" face=\"Tahoma\"><SHAD>" + headline +
          "</SHAD></FONT></p>",
      "<p></p>",
      "<p align=\"left\"><FONT color=\"#000000\"  size=\"10\" face=\"Tahoma\">" + detail +
          "</FONT></p>",
  };
}

TForm_DlgMessage::TForm_DlgMessage(QWidget* parent) : TForm(parent) {
  setObjectName(QStringLiteral("Form_DlgMessage"));
  setWindowTitle(QStringLiteral("Tolvara Updater Administrator"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(kClientWidth, kClientHeight);
  setFont(Tahoma(11));
  // AdvPanel1 covers the whole client area, so the window itself never paints a background.
  setAttribute(Qt::WA_NoSystemBackground);

  AdvPanel1 = new QFrame(this);
  AdvPanel1->setObjectName(QStringLiteral("AdvPanel1"));
  AdvPanel1->setGeometry(0, 0, kClientWidth, kClientHeight);
  AdvPanel1->setStyleSheet(
      QStringLiteral("QFrame#AdvPanel1 { background: rgb(233,241,250); "
                     "border: 1px solid rgb(127,127,127); }"));

  RI_Ikona = new TReflectionImage(AdvPanel1);
  RI_Ikona->setObjectName(QStringLiteral("RI_Ikona"));
  RI_Ikona->setGeometry(16, 16, 64, 90);
  RI_Ikona->SetReflectionHeight(25);

  HL_Poruka = new THtmlLabel(AdvPanel1);
  HL_Poruka->setObjectName(QStringLiteral("HL_Poruka"));
  HL_Poruka->setGeometry(96, 24, 377, 17);
  HL_Poruka->SetShadowColor(QColor(209, 209, 209));
  HL_Poruka->SetShadowOffset(1);

  // The button strip: docked at the bottom, height 34, margins 10 left, 5 top, 10 right, 10 bottom.
  AdvPanel2 = new QFrame(AdvPanel1);
  AdvPanel2->setObjectName(QStringLiteral("AdvPanel2"));
  AdvPanel2->setGeometry(10, kClientHeight - 10 - 34, kClientWidth - 20, 34);
  AdvPanel2->setStyleSheet(QStringLiteral("QFrame#AdvPanel2 { background: rgb(233,241,250); }"));

  const auto makeButton = [this](const char* name, const QString& caption, const QPixmap& glyph,
                                 int left, int result) {
    auto* button = new QPushButton(caption, AdvPanel2);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(left, 1, 110, 32);
    button->setFont(Tahoma(12));
    button->setIcon(QIcon(glyph));
    button->setIconSize(QSize(tv::ui::kGlyphSize, tv::ui::kGlyphSize));
    // Enter presses the focused button, as in a dialog.
    button->setAutoDefault(true);
    tv::framework::ApplySkin(button);
    connect(button, &QPushButton::clicked, this, [this, result] { SetModalResult(result); });
    return button;
  };
  B_OK = makeButton("B_OK", QStringLiteral("&OK"), tv::ui::GlyphBlueCheck(), 364, mrOk);
  B_CANCEL =
      makeButton("B_CANCEL", QStringLiteral("&Ne"), tv::ui::GlyphProhibition(), 245, mrCancel);
  B_CANCEL->hide();
  setTabOrder(B_OK, B_CANCEL);

  for (int type = 0; type < 4; ++type) IL_DlgType[type] = tv::ui::ShieldImage(type);
}

void TForm_DlgMessage::ShowDlgMessage(const std::string& headline, const std::string& detail,
                                      int dlgType, bool dim) {
  if (!IsUiThread()) {
    RunOnUiThread([=, this] { ShowDlgMessage(headline, detail, dlgType, dim); });
    return;
  }
  // A report that arrives while another is on screen (a second failing thread, say) waits for
  // the first to close instead of failing: the dialog cannot be modal twice.
  pending_.push_back(TReport{headline, detail, dlgType, dim});
  if (showing_) return;
  showing_ = true;
  while (!pending_.empty()) {
    const TReport report = std::move(pending_.front());
    pending_.pop_front();
    ShowOne(report);
  }
  showing_ = false;
}

void TForm_DlgMessage::ShowOne(const TReport& report) {
  const int type = (report.type >= 0 && report.type <= 3) ? report.type : 1;
  const auto lines = DlgMessageLines(report.headline, report.detail);
  HL_Poruka->SetLines({QString::fromStdString(lines[0]), QString::fromStdString(lines[1]),
                       QString::fromStdString(lines[2])});
  if (type <= 1) {
    B_CANCEL->hide();
    B_OK->setText(QStringLiteral("&OK"));
  } else {
    B_CANCEL->show();
    B_OK->setText(QStringLiteral("&Da"));
    B_CANCEL->setText(QStringLiteral("&Ne"));
  }
  RI_Ikona->SetPicture(IL_DlgType[type]);
  // A report on the way out closes at once; it gets no layer that would only flash.
  const bool ending = Application && Application->SeeQuitRequest();
  if (report.dim && !ending) ShowDimmer(this);
  ShowModal();
}

void TForm_DlgMessage::FormShow() {
  // Centred over the main window when that is on screen, else over the work area.
  QRect area;
  const TForm* main = Application ? Application->MainForm() : nullptr;
  if (main && main != this && main->isVisible()) {
    area = main->frameGeometry();
  } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    area = screen->availableGeometry();
  }
  if (area.isValid()) {
    QRect frame(QPoint(0, 0), frameGeometry().size());
    frame.moveCenter(area.center());
    move(frame.topLeft());
  }
  // Also here, not only in FormActivate: a window shown again is not reported as activated again
  // on every platform, and Enter must press B_OK all the same.
  B_OK->setFocus(Qt::OtherFocusReason);
}

void TForm_DlgMessage::FormActivate() {
  B_OK->setFocus(Qt::ActiveWindowFocusReason);
}

void TForm_DlgMessage::FormClose() {
  if (FxDimmerForm) FreeDimmer();
}

void TForm_DlgMessage::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    // Escape presses the cancel button when there is one; otherwise it does what the close box
    // does (result 2), so a report can always be dismissed from the keyboard.
    if (!B_CANCEL->isHidden())
      B_CANCEL->click();
    else
      Close();
    event->accept();
    return;
  }
  TForm::keyPressEvent(event);
}
