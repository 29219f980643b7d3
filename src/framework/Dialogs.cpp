#include "Dialogs.h"

#include <QMessageBox>

#include "Application.h"
#include "Thread.h"

void ShowMessage(const std::string& utf8Text) {
  if (!IsUiThread()) {
    RunOnUiThread([utf8Text] { ShowMessage(utf8Text); });
    return;
  }
  const QString caption = Application ? QString::fromStdString(Application->Title) : QString();
  QMessageBox box(QMessageBox::NoIcon, caption, QString::fromStdString(utf8Text), QMessageBox::Ok);
  box.setTextFormat(Qt::PlainText);
  if (Application)
    Application->ExecModal(box);
  else
    box.exec();
}
