// The message dialog through which every report reaches the user: a headline, a detail, a dialog
// type (0 success, 1 failure, 2 and 3 questions with "&Da"/"&Ne") and a dim flag. One instance,
// Form_DlgMessage, is created hidden at start-up and reused for every report.
//
// ShowDlgMessage is modal and returns when the dialog has closed; the result stays in ModalResult
// (1 OK, 2 Cancel or the close box). Once the program has asked to terminate the dialog closes at
// once with 2. Headline and detail are inserted into the label's markup unescaped, so a "<" in
// them is read as markup (write "&lt;" for a literal one). A type outside 0..3 is shown as type 1.
// Called from another thread, the report is shown by the user-interface thread while the caller
// waits (and skipped once that thread no longer serves calls). A report issued while another is
// on screen is shown right after it closes; that call returns at once.
#pragma once

#include <QPixmap>
#include <array>
#include <deque>
#include <string>

#include "Forms.h"

class QFrame;
class QPushButton;
class THtmlLabel;
class TReflectionImage;

// The three lines of HL_Poruka for a report, byte for byte.
std::array<std::string, 3> DlgMessageLines(const std::string& headline, const std::string& detail);

class TForm_DlgMessage : public TForm {
  Q_OBJECT

 public:
  explicit TForm_DlgMessage(QWidget* parent = nullptr);

  // Components, under their designer names.
  QFrame* AdvPanel1 = nullptr;
  TReflectionImage* RI_Ikona = nullptr;
  THtmlLabel* HL_Poruka = nullptr;
  QFrame* AdvPanel2 = nullptr;
  QPushButton* B_OK = nullptr;
  QPushButton* B_CANCEL = nullptr;
  std::array<QPixmap, 4> IL_DlgType;

  void ShowDlgMessage(const std::string& headline, const std::string& detail, int dlgType,
                      bool dim);

 protected:
  void FormShow() override;
  void FormActivate() override;
  void FormClose() override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  struct TReport {
    std::string headline;
    std::string detail;
    int type;
    bool dim;
  };
  void ShowOne(const TReport& report);

  std::deque<TReport> pending_;
  bool showing_ = false;
};

// The one message dialog, created at start-up; owned by the application object.
extern TForm_DlgMessage* Form_DlgMessage;
