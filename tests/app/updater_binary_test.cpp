// The real TvUpdater, copied alone into a folder of its own with a TvUpdater.config, against the
// in-process update server: the mode chosen by the arguments, the configuration read in both
// modes, a refused second start, and a whole installation followed by the launch that its
// desktop entry starts.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "CheckGroup.h"
#include "DesktopEntry.h"
#include "InstallerFixture.h"
#include "TestServer.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// The demo's kind of main executable: a script that notes in its working folder that it ran.
const std::string kStartScript =
    "#!/bin/sh\n"
    "echo \"started in $PWD with $#\" > e2e-started.txt\n";

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = 20s) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (condition()) return true;
    QThread::msleep(20);
  }
  return condition();
}

class UpdaterBinary : public InstallerFixture {
 protected:
  void SetUp() override {
    server_.publishApp("E2E",
                       "Po\xe8"
                       "etak rada",  // "Početak rada" in cp1250
                       {{"start.sh", kStartScript}, {"data.bin", std::string(3 << 20, 'x')}},
                       {{"e2e.ini", "[E2E]\r\nx=1\r\n"}}, {{"sr_RS", {{"e2e.mo", "mo"}}}});
    fs::create_directories(UpdaterFolder());
    fs::copy_file(TV_UPDATER_PATH, Updater());
    fs::copy_file(fs::path(TV_UPDATER_PATH).parent_path() / "TvUpdater.png",
                  UpdaterFolder() / "TvUpdater.png");
  }
  fs::path UpdaterFolder() const { return ConfigFile().parent_path(); }
  fs::path Updater() const { return UpdaterFolder() / "TvUpdater"; }
  fs::path AppFolder() const { return home_ / ".local/share/Kestrov/E2E"; }

  // Starts argv (the environment of this test: its temporary home, offscreen) in folder.
  void Start(QProcess& process, const std::vector<std::string>& argv, const fs::path& folder) {
    QStringList arguments;
    for (std::size_t i = 1; i < argv.size(); ++i) arguments << QString::fromStdString(argv[i]);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(QString::fromStdString(folder.string()));
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(QString::fromStdString(argv[0]), arguments);
    ASSERT_TRUE(process.waitForStarted(10000));
  }
  void Stop(QProcess& process) {
    if (process.state() == QProcess::NotRunning) return;
    process.terminate();
    if (!process.waitForFinished(10000)) {
      process.kill();
      process.waitForFinished(10000);
    }
  }

  tvserver::TestServer server_;
};

TEST_F(UpdaterBinary, InstallThenTheDesktopEntryLaunchesTheApplication) {
  WriteConfig("ServiceURL=" + server_.url() + "\r\n");
  Application->CreateForm(Form_Main, TForm_MainSettings{ConfigFile(), Updater()});
  Application->CreateForm(Form_DlgMessage);
  std::string folderBox;
  ASSERT_TRUE(RunInstaller([&] {
    folderBox = Form_Main->cxButtonEdit1->text().toStdString();
    ASSERT_EQ(Form_Main->cxCheckGroup1->Count(), 1);
    EXPECT_EQ(Form_Main->cxCheckGroup1->ItemCaption(0).toStdString(), "Početak rada");
    Form_Main->cxCheckGroup1->SetChecked(0, true);
    Form_Main->btn_Save->click();
  }));
  // The root proposed and used is the data folder that the configuration received at start.
  EXPECT_EQ(folderBox, (home_ / ".local/share").string());
  ASSERT_EQ(watcher_.Reports().size(), 1u);
  EXPECT_EQ(watcher_.Reports()[0].rfind("dlg:Aplikacije su uspešno instalirane.", 0), 0u);
  EXPECT_TRUE(fs::is_directory(AppFolder()));
  EXPECT_TRUE(fs::is_empty(AppFolder()));

  const fs::path entryFile = Desktop() / "Početak rada.desktop";
  ASSERT_TRUE(fs::is_regular_file(entryFile));
  const auto group = tv::platform::ReadDesktopEntryGroup(ReadFileText(entryFile));
  const auto argv = tv::platform::ParseExecLine(group.at("Exec"));
  ASSERT_TRUE(argv.has_value());
  EXPECT_EQ(*argv, (std::vector<std::string>{Updater().string(), "E2E"}));
  EXPECT_EQ(tv::platform::UnescapeDesktopString(group.at("Icon")),
            (UpdaterFolder() / "TvUpdater.png").string());

  server_.resetCalls();
  QProcess launcher;
  Start(launcher, *argv, tv::platform::UnescapeDesktopString(group.at("Path")));
  ASSERT_TRUE(launcher.waitForFinished(60000)) << "the launcher did not end";
  EXPECT_EQ(launcher.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(launcher.exitCode(), 0);

  EXPECT_TRUE(WaitFor([&] { return fs::exists(AppFolder() / "e2e-started.txt"); }))
      << "the application's main executable did not run";
  EXPECT_EQ(ReadFileText(AppFolder() / "data.bin"), std::string(3 << 20, 'x'));
  EXPECT_EQ(ReadFileText(AppFolder() / "e2e.ini"), "[E2E]\r\nx=1\r\n");
  EXPECT_TRUE(fs::exists(AppFolder() / "E2E.kvx"));
  EXPECT_EQ(server_.calls("Echo"), 1);
  EXPECT_EQ(server_.calls("Service_IsActive"), 1);
  EXPECT_EQ(server_.calls("Get_Application"), 1);
  EXPECT_EQ(server_.calls("Get_Applications_List"), 0);
  EXPECT_EQ(server_.calls("Download_Files_Executables"), 4)
      << "one part for the script, three for 3 MiB of data";
}

TEST_F(UpdaterBinary, ArgumentsChooseTheModeAndTheConfigurationIsReadInBoth) {
  // Launch mode: the first argument is the application, the rest is ignored; the configuration
  // is read (and App_Path added) although the launch does not use it.
  fs::create_directories(AppFolder());
  WriteConfig("ServiceURL=" + server_.url() + "\r\n");
  QProcess launcher;
  Start(launcher, {Updater().string(), "E2E", "ignored", "--also-ignored"}, dir_.path());
  ASSERT_TRUE(launcher.waitForFinished(60000));
  EXPECT_EQ(launcher.exitCode(), 0);
  EXPECT_TRUE(WaitFor([&] { return fs::exists(AppFolder() / "e2e-started.txt"); }));
  EXPECT_EQ(ConfigValue("App_Path"), (home_ / ".local/share").string());
  EXPECT_EQ(server_.calls("Get_Application"), 1);
  EXPECT_EQ(server_.calls("Get_Applications_List"), 0);

  // Installer mode: no argument; the window asks for the list and then waits for the user.
  server_.resetCalls();
  WriteConfig("ServiceURL=" + server_.url() + "\r\n");
  QProcess installer;
  Start(installer, {Updater().string()}, dir_.path());
  EXPECT_TRUE(WaitFor([&] { return server_.calls("Get_Applications_List") == 1; }));
  EXPECT_EQ(server_.calls("Echo"), 1);
  EXPECT_EQ(server_.calls("Service_IsActive"), 1);
  EXPECT_EQ(server_.calls("Get_Application"), 0);
  EXPECT_TRUE(WaitFor([&] { return ConfigValue("App_Path").has_value(); }));
  EXPECT_EQ(installer.state(), QProcess::Running);

  // A second start of the same executable ends at once, shows nothing and asks nothing.
  QProcess second;
  Start(second, {Updater().string(), "E2E"}, dir_.path());
  EXPECT_TRUE(second.waitForFinished(10000));
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_EQ(server_.calls("Echo"), 1);
  EXPECT_EQ(installer.state(), QProcess::Running);
  Stop(installer);
}

}  // namespace
