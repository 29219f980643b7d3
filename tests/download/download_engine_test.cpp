// The download engine against the in-process update server: message order, files assembled
// whole under their names, and an orderly stop at the first failure.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Application.h"
#include "DlgMessage.h"
#include "DownloadFileThread.h"
#include "DownloadTestSupport.h"
#include "Forms.h"
#include "LaunchFixtures.h"
#include "ServerTestSupport.h"
#include "TestServer.h"
#include "UpdaterServiceLibrary_Intf.h"

using tv::launch::testing::ReadFile;
using tv::launch::testing::TempDir;
using tv::launch::testing::WriteFile;
using tv::testing::TModalRecorder;
using tv::testing::TShownWindow;
using tv::testing::TWatchdog;
using tvserver::testing::patternBytes;

namespace {

constexpr int32_t kMiB = 1048576;

// Stands for the launch window: notes every download message, ends the run when it finishes.
class TRecorderForm : public TForm {
 public:
  TRecorderForm() {
    for (UINT msg = WM_DOWNLOAD_START; msg <= WM_DOWNLOAD_PART_DONE; ++msg) {
      RegisterMessageHandler(msg, [this](TMessage& m) {
        messages.emplace_back(m.Msg, m.WParam);
        if (m.Msg == WM_DOWNLOAD_FINISHED) Application->Terminate();
      });
    }
  }
  std::vector<std::pair<UINT, WPARAM>> messages;
  std::function<void()> onShow;

 protected:
  void FormShow() override {
    if (onShow) onShow();
  }
};

TRecorderForm* Recorder = nullptr;

class DownloadEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    application = std::make_unique<TApplication>();
    Application->Title = "Tolvara Updater";
    Application->CreateForm(DownloadModule);
    Application->CreateForm(Form_DlgMessage);
    Application->CreateForm(Recorder);
    Application->SetMainForm(Recorder);
  }
  void TearDown() override { application.reset(); }

  // Publishes the files as application APP1 and returns the list the service gives for it.
  std::shared_ptr<const WS_Array_Of_Files_executables> Publish(
      const std::vector<tvserver::TestServer::File>& files) {
    server.publishApp("APP1", "Aplikacija", files, {{"app.ini", "x"}});
    tvserver::testing::Client client(server.url());
    std::unique_ptr<WS_Applications> app;
    std::unique_ptr<WS_Array_Of_Files_executables> executables;
    std::unique_ptr<WS_Array_Of_Applications_config_files> configs;
    std::unique_ptr<WS_Array_Of_Application_locales> locales;
    client->Get_Application("APP1", app, executables, configs, locales);
    server.resetCalls();
    return std::shared_ptr<const WS_Array_Of_Files_executables>(std::move(executables));
  }

  // Downloads list into the application folder; returns when the program has ended.
  void Download(std::shared_ptr<const WS_Array_Of_Files_executables> list) {
    Recorder->onShow = [this, list] {
      TDownloadApplicationDaemon::Launch(Recorder->Handle(), server.url(), App(), list, kMiB);
    };
    const TWatchdog watchdog(60000);
    Application->Run();
    EXPECT_FALSE(watchdog.Fired()) << "the download did not end";
  }

  std::filesystem::path App() const { return dir.path() / "app"; }

  std::vector<std::string> FolderEntries(const std::filesystem::path& folder) const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
      names.push_back(std::filesystem::relative(e.path(), folder).string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  TUpdaterServiceLibraryRegistration library;
  tvserver::TestServer server;
  TempDir dir;
  std::unique_ptr<TApplication> application;
  TModalRecorder shown;
};

bool IsExecutable(const std::filesystem::path& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && (info.st_mode & S_IXUSR) != 0;
}

}  // namespace

TEST_F(DownloadEngineTest, FilesArriveWholeWithTheirMessagesInOrder) {
  const std::string one = patternBytes(kMiB, 1);
  const std::string onePlus = patternBytes(kMiB + 1, 2);
  const std::string three = patternBytes(3 * kMiB, 3);
  const auto list =
      Publish({{"App.exe", onePlus}, {"empty.dat", ""}, {"core.dll", three}, {"one.bin", one}});
  Download(list);

  using M = std::pair<UINT, WPARAM>;
  const M start{WM_DOWNLOAD_START, 0}, part{WM_DOWNLOAD_PART_DONE, 1},
      done{WM_DOWNLOAD_FILE_DONE, 0}, finished{WM_DOWNLOAD_FINISHED, 0};
  const auto fileStart = [](WPARAM parts) { return M{WM_DOWNLOAD_FILE_START, parts}; };
  const std::vector<M> expected = {start,        fileStart(2), part, part,    done, fileStart(0),
                                   done,         fileStart(3), part, part,    part, done,
                                   fileStart(1), part,         done, finished};
  EXPECT_EQ(Recorder->messages, expected);
  EXPECT_TRUE(shown.Shown().empty());

  EXPECT_EQ(ReadFile(App() / "App.exe"), onePlus);
  EXPECT_EQ(ReadFile(App() / "empty.dat"), "");
  EXPECT_EQ(ReadFile(App() / "core.dll"), three);
  EXPECT_EQ(ReadFile(App() / "one.bin"), one);
  EXPECT_TRUE(IsExecutable(App() / "App.exe"));
  EXPECT_TRUE(IsExecutable(App() / "core.dll"));
  // No temporary file stays behind.
  EXPECT_EQ(FolderEntries(App()),
            (std::vector<std::string>{"App.exe", "core.dll", "empty.dat", "one.bin"}));
  EXPECT_EQ(server.calls("Download_Files_Executables"), 6);
}

TEST_F(DownloadEngineTest, PartsFinishingInReverseOrderStillMakeTheSameFile) {
  const std::string twelve = patternBytes(12 * kMiB, 7);
  const auto list = Publish({{"App.exe", twelve}});
  // The first five parts answer the later the earlier they were asked for.
  for (int part = 1; part <= 5; ++part) {
    tvserver::Fault stall;
    stall.operation = "Download_Files_Executables";
    stall.kind = tvserver::Fault::Kind::Stall;
    stall.partNo = part;
    stall.stall = std::chrono::milliseconds(100 * (6 - part));
    server.faults().add(stall);
  }
  Download(list);
  EXPECT_EQ(ReadFile(App() / "App.exe"), twelve);
  EXPECT_EQ(std::count(Recorder->messages.begin(), Recorder->messages.end(),
                       std::pair<UINT, WPARAM>{WM_DOWNLOAD_PART_DONE, 1}),
            12);
  EXPECT_EQ(server.calls("Download_Files_Executables"), 12);
}

TEST_F(DownloadEngineTest, AFailedPartStopsTheDownloadAndKeepsTheOldFile) {
  using Kind = tvserver::Fault::Kind;
  const std::vector<std::pair<const char*, Kind>> faults = {
      {"exception", Kind::Exception},  {"dropped connection", Kind::Drop},
      {"short part", Kind::ShortPart}, {"oversized part", Kind::OversizedPart},
      {"HTTP error", Kind::HttpError},
  };
  const std::string twelve = patternBytes(12 * kMiB, 9);
  for (const auto& [what, kind] : faults) {
    SCOPED_TRACE(what);
    TearDown();
    SetUp();
    shown.Clear();
    server.faults().clear();
    WriteFile(App() / "App.exe", "the old version");
    const auto list = Publish({{"App.exe", twelve}});
    tvserver::Fault fault;
    fault.operation = "Download_Files_Executables";
    fault.kind = kind;
    fault.partNo = 3;
    server.faults().add(fault);
    Download(list);

    // Reported once: the reason in the plain box, then the dialog; then the program ends.
    const auto plain = shown.Texts(TShownWindow::Kind::PlainBox);
    ASSERT_EQ(plain.size(), 1u);
    EXPECT_FALSE(plain[0].empty());
    EXPECT_EQ(shown.Texts(TShownWindow::Kind::Dialog),
              std::vector<std::string>{std::string(kDownloadFailedHeadline) + "\n\n"});
    EXPECT_EQ(shown.Shown().size(), 2u);
    EXPECT_EQ(shown.Shown()[0].kind, TShownWindow::Kind::PlainBox);
    EXPECT_TRUE(Application->Terminated());
    for (const auto& [msg, wParam] : Recorder->messages) {
      EXPECT_NE(msg, WM_DOWNLOAD_FILE_DONE);
      EXPECT_NE(msg, WM_DOWNLOAD_FINISHED);
    }
    // The old executable is untouched and no temporary file is left.
    EXPECT_EQ(ReadFile(App() / "App.exe"), "the old version");
    EXPECT_EQ(FolderEntries(App()), std::vector<std::string>{"App.exe"});
  }
}

TEST_F(DownloadEngineTest, AShortPartNamesItsLengths) {
  const auto list = Publish({{"App.exe", patternBytes(2 * kMiB)}});
  tvserver::Fault fault;
  fault.operation = "Download_Files_Executables";
  fault.kind = tvserver::Fault::Kind::ShortPart;
  fault.partNo = 2;
  server.faults().add(fault);
  Download(list);
  const auto plain = shown.Texts(TShownWindow::Kind::PlainBox);
  ASSERT_EQ(plain.size(), 1u);
  EXPECT_NE(plain[0].find("Part 2 of \"App.exe\""), std::string::npos) << plain[0];
  EXPECT_NE(plain[0].find("instead of 1048576 bytes"), std::string::npos) << plain[0];
}

TEST_F(DownloadEngineTest, NoPartIsRequestedAfterTheFirstFailure) {
  const auto list = Publish({{"App.exe", patternBytes(12 * kMiB)}});
  tvserver::Fault fail;
  fail.operation = "Download_Files_Executables";
  fail.kind = tvserver::Fault::Kind::Exception;
  fail.partNo = 1;
  server.faults().add(fail);
  for (int part = 2; part <= 5; ++part) {
    tvserver::Fault stall;
    stall.operation = "Download_Files_Executables";
    stall.kind = tvserver::Fault::Kind::Stall;
    stall.partNo = part;
    stall.stall = std::chrono::milliseconds(300);
    server.faults().add(stall);
  }
  Download(list);
  // Let the stalled parts answer; the workers that asked for them write and request nothing.
  // Workers that had not sent their request yet when part 1 failed do not send it at all.
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  EXPECT_GE(server.calls("Download_Files_Executables"), 1);
  EXPECT_LE(server.calls("Download_Files_Executables"), 5);
  EXPECT_EQ(shown.Texts(TShownWindow::Kind::PlainBox).size(), 1u);
  EXPECT_FALSE(std::filesystem::exists(App() / "App.exe"));
}

TEST_F(DownloadEngineTest, ManyWorkersFailingAreReportedOnce) {
  const auto list = Publish({{"App.exe", patternBytes(12 * kMiB)}});
  tvserver::Fault fail;
  fail.operation = "Download_Files_Executables";
  fail.kind = tvserver::Fault::Kind::Exception;
  fail.message = "Datoteka nije dostupna";
  server.faults().add(fail);
  Download(list);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  QCoreApplication::processEvents();
  EXPECT_EQ(shown.Texts(TShownWindow::Kind::PlainBox),
            std::vector<std::string>{"Datoteka nije dostupna"});
  EXPECT_EQ(shown.Texts(TShownWindow::Kind::Dialog).size(), 1u);
}

TEST_F(DownloadEngineTest, ATargetThatCannotBeCreatedStopsBeforeAnyPart) {
  const auto list = Publish({{"App.exe", patternBytes(kMiB)}, {"second.dll", "x"}});
  WriteFile(App() / "App.exe" / "inside", "a folder holds the executable's name");
  Download(list);
  EXPECT_EQ(server.calls("Download_Files_Executables"), 0);
  const auto plain = shown.Texts(TShownWindow::Kind::PlainBox);
  ASSERT_EQ(plain.size(), 1u);
  EXPECT_NE(plain[0].find("App.exe"), std::string::npos) << plain[0];
  EXPECT_EQ(shown.Texts(TShownWindow::Kind::Dialog).size(), 1u);
  EXPECT_FALSE(std::filesystem::exists(App() / "second.dll"));
  EXPECT_EQ(Recorder->messages, (std::vector<std::pair<UINT, WPARAM>>{
                                    {WM_DOWNLOAD_START, 0}, {WM_DOWNLOAD_FILE_START, 1}}));
}
