// Answers the program's modal reports in window tests the way a user would: whenever a modal
// window is up (the message dialog, the plain message box, the standard error box) it writes
// down what it said and presses its OK button. A report that ends by itself because the program
// is terminating is never seen, exactly as a user would not see it.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "DlgMessage.h"
#include "HtmlLabel.h"

class TDialogWatcher {
 public:
  // Called for each report as it is shown, before it is answered.
  std::function<void(const std::string&)> onReport;
  // Given every other modal window first (a folder chooser, say); true when it answered it.
  std::function<bool(QWidget*)> onModal;

  TDialogWatcher() {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start();
  }

  // "dlg:<headline and detail>" for the message dialog, "box:<text>" for a message box.
  const std::vector<std::string>& Reports() const { return reports_; }

 private:
  void Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible() || modal == answered_) return;
    answered_ = modal;
    QTimer::singleShot(0, [this] { answered_ = nullptr; });
    if (onModal && modal != Form_DlgMessage && onModal(modal)) return;
    std::string report;
    if (Form_DlgMessage != nullptr && modal == Form_DlgMessage) {
      report = "dlg:" + Form_DlgMessage->HL_Poruka->PlainText().toStdString();
      Record(report);
      Form_DlgMessage->B_OK->click();
    } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      report = "box:" + box->text().toStdString();
      Record(report);
      box->accept();
    } else {
      Record("other:" + modal->windowTitle().toStdString());
      modal->close();
    }
  }
  void Record(const std::string& report) {
    reports_.push_back(report);
    if (onReport) onReport(report);
  }

  QTimer timer_;
  QWidget* answered_ = nullptr;
  std::vector<std::string> reports_;
};
