// What the download and launch tests share: a recorder of every modal window that the program
// shows (the plain box, the standard error box, the message dialog), which notes its text and
// closes it as a user would, and a watchdog that ends a run that would otherwise hang.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <string>
#include <vector>

#include "Application.h"
#include "DlgMessage.h"
#include "HtmlLabel.h"

namespace tv::testing {

struct TShownWindow {
  enum class Kind { PlainBox, ErrorBox, Dialog };
  Kind kind;
  std::string text;  // the box's text, or the dialog's "headline\n\ndetail"
};

// Closes every modal window as soon as it appears and remembers what it said.
class TModalRecorder {
 public:
  TModalRecorder() {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start();
  }

  const std::vector<TShownWindow>& Shown() const { return shown_; }
  void Clear() { shown_.clear(); }

  std::vector<std::string> Texts(TShownWindow::Kind kind) const {
    std::vector<std::string> texts;
    for (const auto& s : shown_) {
      if (s.kind == kind) texts.push_back(s.text);
    }
    return texts;
  }

 private:
  // A window that is closing may still be the active modal one at the next poll: a box is
  // marked once noted, and the dialog counts only while it has no result yet (ShowModal clears
  // the result at every showing).
  void Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) return;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      if (box->property("tvNoted").toBool()) return;
      box->setProperty("tvNoted", true);
      shown_.push_back({box->icon() == QMessageBox::Critical ? TShownWindow::Kind::ErrorBox
                                                             : TShownWindow::Kind::PlainBox,
                        box->text().toStdString()});
      box->done(QMessageBox::Ok);
    } else if (Form_DlgMessage != nullptr && modal == Form_DlgMessage &&
               Form_DlgMessage->ModalResult() == mrNone) {
      shown_.push_back(
          {TShownWindow::Kind::Dialog, Form_DlgMessage->HL_Poruka->PlainText().toStdString()});
      Form_DlgMessage->SetModalResult(mrOk);
    }
  }

  QTimer timer_;
  std::vector<TShownWindow> shown_;
};

// Requests termination after limitMs, so a run that would hang ends and fails instead.
class TWatchdog {
 public:
  explicit TWatchdog(int limitMs) {
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      fired_ = true;
      if (Application) Application->Terminate();
    });
    timer_.start(limitMs);
  }
  bool Fired() const { return fired_; }

 private:
  QTimer timer_;
  bool fired_ = false;
};

}  // namespace tv::testing
