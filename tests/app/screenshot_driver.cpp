// Helper of scripts/screenshots.sh, for the pictures that the program shows only at moments a
// script cannot wait for:
//   screenshot_driver dialog N    shows the message dialog of type N (0..3) until it is closed
//   screenshot_driver serve-slow  serves the application DEMO from an in-process update server
//                                 whose download parts after the second are slow, prints the
//                                 service URL on one line, and serves until it is killed
#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>

#include "Application.h"
#include "DlgMessage.h"
#include "TestServer.h"

namespace {

int ShowDialog(int argc, char** argv, int dlgType) {
  int qtArgc = 1;
  QApplication qtApplication(qtArgc, argv);
  (void)argc;
  TApplication application;
  Application->Title = "Tolvara Updater";
  Application->CreateForm(Form_DlgMessage);
  struct Text {
    const char* headline;
    const char* detail;
  };
  const Text texts[] = {
      {"Aplikacije su uspešno instalirane.", ""},
      {"Tolvara Updater servis nije dostupan.", "Proverite da li je servis startovan."},
      {"Da li želite da instalirate izabrane aplikacije?", "Izabrane su 2 aplikacije."},
      {"Pažnja: folder za instalaciju već postoji.", "Njegov sadržaj biće premešten u smeće."},
  };
  const Text& text = texts[dlgType];
  Form_DlgMessage->ShowDlgMessage(text.headline, text.detail, dlgType, false);
  return 0;
}

int ServeSlow() {
  tvserver::TestServer server;
  server.publishApp(
      "DEMO", "Demo aplikacija",
      {{"KestrovRacun.sh", "#!/bin/sh\nexit 0\n"}, {"KestrovRacun.dat", std::string(8 << 20, 'k')}},
      {{"KestrovRacun.ini", "[Demo]\r\n"}});
  tvserver::Fault slow;
  slow.operation = "Download_Files_Executables";
  slow.kind = tvserver::Fault::Kind::Stall;
  slow.afterCalls = 3;
  slow.stall = std::chrono::seconds(4);
  server.faults().add(slow);
  std::cout << server.url() << std::endl;
  for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "dialog") == 0) {
    const int dlgType = std::atoi(argv[2]);
    if (dlgType >= 0 && dlgType <= 3) return ShowDialog(argc, argv, dlgType);
  }
  if (argc == 2 && std::strcmp(argv[1], "serve-slow") == 0) return ServeSlow();
  std::fprintf(stderr, "usage: %s dialog 0|1|2|3 | serve-slow\n", argv[0]);
  return 2;
}
