// How much processor time the download takes while every part is in flight and nothing
// arrives: the in-process test server holds each part back, and the process's CPU time over
// that wait is printed. A daemon that waits by a wake-up stays near 0 %; one that polls its
// workers would burn a whole core.
#include <sys/resource.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "Application.h"
#include "DlgMessage.h"
#include "DownloadFileThread.h"
#include "Forms.h"
#include "ServerTestSupport.h"
#include "TestServer.h"
#include "UpdaterServiceLibrary_Intf.h"

namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

class TQuietWindow : public TForm {
 public:
  TQuietWindow() {
    RegisterMessageHandler(WM_DOWNLOAD_FINISHED, [](TMessage&) { Application->Terminate(); });
  }
  std::function<void()> onShow;

 protected:
  void FormShow() override { onShow(); }
};
TQuietWindow* Window = nullptr;

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication qt(argc, argv);
  const TUpdaterServiceLibraryRegistration library;
  const int stallMs = argc > 1 ? std::atoi(argv[1]) : 2000;

  tvserver::TestServer server;
  // Five parts: all five are in flight at once, and all of them wait.
  server.publishApp("IDLE", "Idle", {{"idle.bin", tvserver::testing::patternBytes(5 << 20)}},
                    {{"app.ini", "x"}});
  tvserver::testing::Client client(server.url());
  std::unique_ptr<WS_Applications> app;
  std::unique_ptr<WS_Array_Of_Files_executables> list;
  std::unique_ptr<WS_Array_Of_Applications_config_files> configs;
  std::unique_ptr<WS_Array_Of_Application_locales> locales;
  client->Get_Application("IDLE", app, list, configs, locales);
  std::shared_ptr<const WS_Array_Of_Files_executables> working(std::move(list));

  tvserver::Fault stall;
  stall.operation = "Download_Files_Executables";
  stall.kind = tvserver::Fault::Kind::Stall;
  stall.stall = std::chrono::milliseconds(stallMs);
  server.faults().add(stall);

  const auto folder = std::filesystem::temp_directory_path() / "tv-bench-idle";
  std::filesystem::remove_all(folder);

  TApplication application;
  Application->CreateForm(DownloadModule);
  Application->CreateForm(Form_DlgMessage);
  Application->CreateForm(Window);
  Application->SetMainForm(Window);
  Window->onShow = [&] {
    TDownloadApplicationDaemon::Launch(Window->Handle(), server.url(), folder, working, 1 << 20);
  };
  const double cpuBefore = CpuSeconds();
  const auto wallBefore = std::chrono::steady_clock::now();
  Application->Run();
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
  const double cpu = CpuSeconds() - cpuBefore;
  std::filesystem::remove_all(folder);
  std::printf(
      "idle download: 5 parts held back %d ms each; wall %.3f s, CPU %.3f s (%.1f %% of one "
      "core)\n",
      stallMs, wall, cpu, 100.0 * cpu / wall);
  return 0;
}
