// Shows a failure report over the dim layer on the current display and saves a screenshot of
// the whole screen once the fade has ended. Usage: ui_dlg_message_preview <file.png>
#include <QApplication>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <cstdio>

#include "Application.h"
#include "DlgMessage.h"
#include "FxDimmer.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <screenshot.png>\n", argv[0]);
    return 2;
  }
  QApplication qt(argc, argv);
  TApplication application;
  application.Title = "Tolvara Updater";
  application.CreateForm(Form_DlgMessage);
  const QString target = QString::fromLocal8Bit(argv[1]);
  bool saved = false;
  QTimer::singleShot(900, [&] {
    saved = QGuiApplication::primaryScreen()->grabWindow(0).save(target);
    Form_DlgMessage->B_OK->click();
  });
  Form_DlgMessage->ShowDlgMessage("Greška prilikom učitavanja aplikacije: čćžšđ ČĆŽŠĐ",
                                  "Program će biti prekinut.", 1, true);
  std::printf("%s %s\n", saved ? "saved" : "could not save", argv[1]);
  return saved ? 0 : 1;
}
