// Build helper: writes the product picture as the PNG that lies beside TvUpdater
// ("TvUpdater.png"), which the installer's desktop entries name as their icon.
// Usage: tv_make_icon <output.png>; exit code 1 when the file cannot be written.
#include <QApplication>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>

#include "Images.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output.png>\n", argv[0]);
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  int qtArgc = 1;
  QApplication application(qtArgc, argv);
  if (!tv::ui::ProductImage(256).save(QString::fromLocal8Bit(argv[1]), "PNG")) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
