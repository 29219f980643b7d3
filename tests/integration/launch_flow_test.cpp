// The launch end to end against the in-process update server: the program is run in launch
// mode with the real forms, and what it reports, writes, downloads and starts is checked.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "LaunchFixture.h"
#include "LocalManifest.h"
#include "ManifestFile.h"
#include "ServerTestSupport.h"
#include "TestServer.h"

using tv::launch::testing::ReadFile;
using tv::launch::testing::WriteFile;
using tv::testing::LaunchFixture;
using tv::testing::TLaunchResult;
using tv::testing::TShownWindow;
using tvserver::testing::patternBytes;
using Kind = TShownWindow::Kind;

namespace {

constexpr int64_t kMiB = 1048576;

std::string Dialog(const std::string& headline, const std::string& detail) {
  return headline + "\n\n" + detail;
}

const std::string kProgramWillEnd = "Program će biti prekinut.";

tvserver::Fault Failing(const std::string& operation) {
  tvserver::Fault fault;
  fault.operation = operation;
  fault.kind = tvserver::Fault::Kind::Exception;
  return fault;
}

// Public, so the tables' steps can reach the fixture through a reference.
class LaunchFlowTest : public LaunchFixture {
 public:
  LaunchFlowTest() { WriteConfig(server.url()); }

  // The executables of the standard test application.
  std::vector<tvserver::TestServer::File> Executables(const std::string& libBytes) const {
    return {{"start.sh", tv::testing::kStartScript}, {"lib.dll", libBytes}};
  }
  void PublishStandard(const std::string& uid, const std::string& libBytes) {
    server.publishApp(uid,
                      "\xC8"
                      "a\xE8"
                      "ak",
                      Executables(libBytes), {{"app.ini", "[app]\r\nx=1\r\n"}, {"empty.ini", ""}},
                      {{"sr_RS", {{"app.mo", "prevod"}}}});
  }

  // The list that the service gives for uid now.
  std::unique_ptr<WS_Array_Of_Files_executables> ServiceList(const std::string& uid) {
    tvserver::testing::Client client(server.url());
    std::unique_ptr<WS_Applications> app;
    std::unique_ptr<WS_Array_Of_Files_executables> executables;
    std::unique_ptr<WS_Array_Of_Applications_config_files> configs;
    std::unique_ptr<WS_Array_Of_Application_locales> locales;
    client->Get_Application(uid, app, executables, configs, locales);
    return executables;
  }
  // Parts of every file of the list (what a full download asks for).
  static int PartsOf(const WS_Array_Of_Files_executables& list) {
    int parts = 0;
    for (int32_t i = 0; i < list.Count(); ++i) {
      parts += static_cast<int>((list.Items(i)->file_size + kMiB - 1) / kMiB);
    }
    return parts;
  }
  std::filesystem::path Manifest(const std::string& uid) const {
    return AppFolder(uid) / (uid + ".kvx");
  }
  void ExpectManifestMatchesService(const std::string& uid) {
    ASSERT_TRUE(std::filesystem::exists(Manifest(uid)));
    const auto stored = LoadManifest(Manifest(uid));
    ASSERT_NE(stored, nullptr);
    EXPECT_TRUE(tv::launch::SameExecutables(*ServiceList(uid), *stored));
  }

  tvserver::TestServer server;
};

}  // namespace

TEST_F(LaunchFlowTest, FirstLaunchWritesEverythingAndStartsTheMainExecutable) {
  const std::string lib = patternBytes(3 * kMiB + 5);
  PublishStandard("APP1", lib);
  ASSERT_FALSE(std::filesystem::exists(AppFolder("APP1")));
  server.resetCalls();

  const TLaunchResult run = Launch("APP1");
  EXPECT_TRUE(run.ended);
  EXPECT_TRUE(run.shown.empty()) << run.shown.front().text;
  EXPECT_TRUE(run.canClose);
  EXPECT_EQ(run.label, "Start aplikacije: Čačak");
  EXPECT_EQ(run.appFolder, AppFolder("APP1").string() + "/");
  EXPECT_EQ(run.mainExeName, "start.sh");

  ASSERT_TRUE(StartedIn(AppFolder("APP1")));
  EXPECT_EQ(ReadFile(AppFolder("APP1") / "started.txt"), AppFolder("APP1").string() + "\n");
  EXPECT_EQ(ReadFile(AppFolder("APP1") / "lib.dll"), lib);
  EXPECT_EQ(ReadFile(AppFolder("APP1") / "app.ini"), "[app]\r\nx=1\r\n");
  EXPECT_EQ(ReadFile(AppFolder("APP1") / "empty.ini"), "");
  EXPECT_EQ(ReadFile(AppFolder("APP1") / "locale/sr_RS/LC_MESSAGES/app.mo"), "prevod");
  EXPECT_EQ(server.calls("Echo"), 1);
  EXPECT_EQ(server.calls("Service_IsActive"), 1);
  EXPECT_EQ(server.calls("Get_Application"), 1);
  EXPECT_EQ(server.calls("Download_Files_Executables"), 1 + 4);
  ExpectManifestMatchesService("APP1");
}

TEST_F(LaunchFlowTest, ASecondLaunchWithNothingChangedOnlyAsksThreeQuestions) {
  PublishStandard("APP1", patternBytes(2 * kMiB));
  ASSERT_TRUE(Launch("APP1").ended);
  ASSERT_TRUE(StartedIn(AppFolder("APP1")));
  std::filesystem::remove(AppFolder("APP1") / "started.txt");
  const std::string manifest = ReadFile(Manifest("APP1"));
  // Configuration files are the server's at every launch; locale files stay once present.
  WriteFile(AppFolder("APP1") / "app.ini", "edited by hand");
  WriteFile(AppFolder("APP1") / "locale/sr_RS/LC_MESSAGES/app.mo", "local translation");
  server.resetCalls();

  const TLaunchResult run = Launch("APP1");
  EXPECT_TRUE(run.ended);
  EXPECT_TRUE(run.shown.empty());
  EXPECT_FALSE(run.appeared);  // the final step ran before the window could show
  EXPECT_TRUE(StartedIn(AppFolder("APP1")));
  EXPECT_EQ(server.calls("Echo"), 1);
  EXPECT_EQ(server.calls("Service_IsActive"), 1);
  EXPECT_EQ(server.calls("Get_Application"), 1);
  EXPECT_EQ(server.calls("Download_Files_Executables"), 0);
  EXPECT_EQ(ReadFile(Manifest("APP1")), manifest);
  EXPECT_EQ(ReadFile(AppFolder("APP1") / "app.ini"), "[app]\r\nx=1\r\n");
  EXPECT_EQ(ReadFile(AppFolder("APP1") / "locale/sr_RS/LC_MESSAGES/app.mo"), "local translation");
}

TEST_F(LaunchFlowTest, EveryChangeOfTheListDownloadsEverything) {
  struct Case {
    const char* what;
    std::function<void(LaunchFlowTest&, const std::string& uid)> change;
    bool download;
    bool scriptIsMain = true;
  };
  const std::vector<Case> cases = {
      {"an executable changed",
       [](LaunchFlowTest& t, const std::string& uid) {
         t.server.publishApp(uid, "A", t.Executables(patternBytes(kMiB + 3, 2)),
                             {{"app.ini", "x"}});
       },
       true},
      {"an executable added",
       [](LaunchFlowTest& t, const std::string& uid) {
         auto files = t.Executables(patternBytes(kMiB + 3));
         files.push_back({"added.dll", patternBytes(10, 5)});
         t.server.publishApp(uid, "A", files, {{"app.ini", "x"}});
       },
       true},
      {"an executable removed",
       [](LaunchFlowTest& t, const std::string& uid) {
         t.server.publishApp(uid, "A", {{"start.sh", tv::testing::kStartScript}},
                             {{"app.ini", "x"}});
       },
       true},
      {"the main mark moved",
       [](LaunchFlowTest& t, const std::string& uid) {
         t.server.publishApp(uid, "A", t.Executables(patternBytes(kMiB + 3)), {{"app.ini", "x"}},
                             {}, "lib.dll");
       },
       true, false},
      {"an executable deleted by hand",
       [](LaunchFlowTest& t, const std::string& uid) {
         std::filesystem::remove(t.AppFolder(uid) / "lib.dll");
       },
       true},
      {"a damaged manifest",
       [](LaunchFlowTest& t, const std::string& uid) {
         const std::string bytes = ReadFile(t.Manifest(uid));
         WriteFile(t.Manifest(uid), bytes.substr(0, bytes.size() / 2));
       },
       true},
      {"a manifest of no list",
       [](LaunchFlowTest& t, const std::string& uid) {
         WriteFile(t.Manifest(uid), std::string(1, '\0'));
       },
       true},
      {"only the description differs",
       [](LaunchFlowTest& t, const std::string& uid) {
         auto stored = LoadManifest(t.Manifest(uid));
         stored->Items(1)->file_description = "opis koji server ne zna";
         SaveManifest(t.Manifest(uid), *stored);
       },
       false},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string uid = "APP" + std::to_string(++n);
    server.publishApp(uid, "A", Executables(patternBytes(kMiB + 3)), {{"app.ini", "x"}});
    ASSERT_TRUE(Launch(uid).ended);
    ASSERT_TRUE(StartedIn(AppFolder(uid)));
    std::filesystem::remove(AppFolder(uid) / "started.txt");
    c.change(*this, uid);
    const std::string manifestBefore = ReadFile(Manifest(uid));
    server.resetCalls();

    const TLaunchResult run = Launch(uid);
    EXPECT_TRUE(run.ended);
    EXPECT_TRUE(run.shown.empty());
    if (c.scriptIsMain) {
      EXPECT_TRUE(StartedIn(AppFolder(uid)));
    } else {
      EXPECT_EQ(run.mainExeName, "lib.dll");
    }
    const auto list = ServiceList(uid);
    EXPECT_EQ(server.calls("Download_Files_Executables"), c.download ? PartsOf(*list) : 0);
    if (c.download) {
      ExpectManifestMatchesService(uid);
      for (int32_t i = 0; i < list->Count(); ++i) {
        EXPECT_EQ(std::filesystem::file_size(AppFolder(uid) / list->Items(i)->file_name),
                  static_cast<uintmax_t>(list->Items(i)->file_size));
      }
    } else {
      EXPECT_EQ(ReadFile(Manifest(uid)), manifestBefore);
    }
  }
}

TEST_F(LaunchFlowTest, AnInterruptedDownloadRepeatsItselfAtTheNextLaunch) {
  using FaultKind = tvserver::Fault::Kind;
  const std::vector<std::pair<const char*, FaultKind>> faults = {
      {"dropped connection", FaultKind::Drop},
      {"short part", FaultKind::ShortPart},
      {"exception", FaultKind::Exception},
  };
  int n = 0;
  for (const auto& [what, kind] : faults) {
    SCOPED_TRACE(what);
    const std::string uid = "APP" + std::to_string(++n);
    const std::string v1 = patternBytes(2 * kMiB, 1);
    const std::string v2 = patternBytes(12 * kMiB, 2);
    server.publishApp(uid, "A", Executables(v1), {{"app.ini", "x"}});
    ASSERT_TRUE(Launch(uid).ended);
    ASSERT_TRUE(StartedIn(AppFolder(uid)));
    std::filesystem::remove(AppFolder(uid) / "started.txt");

    // The new version breaks off in the middle of its 12 MiB.
    server.publishApp(uid, "A", Executables(v2), {{"app.ini", "x"}});
    server.faults().clear();
    tvserver::Fault fault;
    fault.operation = "Download_Files_Executables";
    fault.kind = kind;
    fault.partNo = 6;
    fault.times = 1;
    server.faults().add(fault);
    const TLaunchResult broken = Launch(uid);
    EXPECT_TRUE(broken.ended);
    EXPECT_EQ(broken.Texts(Kind::PlainBox).size(), 1u);
    EXPECT_EQ(broken.Texts(Kind::Dialog),
              std::vector<std::string>{Dialog("Greška!!! Program će biti prekinut", "")});
    EXPECT_TRUE(NothingStartedIn(AppFolder(uid)));
    EXPECT_FALSE(std::filesystem::exists(Manifest(uid)));
    EXPECT_EQ(ReadFile(AppFolder(uid) / "lib.dll"), v1);  // the old version, whole

    const TLaunchResult repaired = Launch(uid);
    EXPECT_TRUE(repaired.ended);
    EXPECT_TRUE(repaired.shown.empty());
    EXPECT_TRUE(StartedIn(AppFolder(uid)));
    EXPECT_EQ(ReadFile(AppFolder(uid) / "lib.dll"), v2);
    ExpectManifestMatchesService(uid);
  }
}

TEST_F(LaunchFlowTest, RefusalsAreReportedOnceAndEndTheProgram) {
  server.publishApp("ACTIVE", "A", Executables("x"), {{"app.ini", "x"}});
  server.publishApp("NOCONFIG", "A", Executables("x"), {});
  {
    tvserver::PublishSpec spec;
    spec.application.uid = "OFF";
    spec.application.naziv_ikonice = "A";
    spec.application.aktivan = "N";
    spec.executables.push_back(tvserver::PublishFile::fromBytes("start.sh", "x"));
    spec.configs.push_back(tvserver::PublishFile::fromBytes("app.ini", "x"));
    server.publish(spec);
  }
  const std::string unavailable =
      Dialog("Tolvara Updater servis nije dostupan.", "Proverite da li je servis startovan.");
  const std::string missing =
      Dialog("Aplikacija ne postoji. Pozovite administratora sistema.", kProgramWillEnd);
  struct Case {
    const char* what;
    std::string uid;
    std::function<void(LaunchFlowTest&)> arrange;
    std::string report;
  };
  const std::vector<Case> cases = {
      {"service down", "ACTIVE", [](LaunchFlowTest& t) { t.WriteConfig("http://127.0.0.1:9/bin"); },
       unavailable},
      {"Echo fails", "ACTIVE", [](LaunchFlowTest& t) { t.server.faults().add(Failing("Echo")); },
       unavailable},
      {"Service_IsActive fails", "ACTIVE",
       [](LaunchFlowTest& t) { t.server.faults().add(Failing("Service_IsActive")); }, unavailable},
      {"service inactive", "ACTIVE",
       [](LaunchFlowTest& t) { t.server.store().setServiceActive(false); },
       Dialog("Ažuriranje sistema u toku!!!", "Pokušajte kasnije.")},
      {"Get_Application fails", "ACTIVE",
       [](LaunchFlowTest& t) { t.server.faults().add(Failing("Get_Application")); },
       Dialog("Greška prilikom učitavanja aplikacije.", kProgramWillEnd)},
      {"unknown application", "NOSUCH", {}, missing},
      {"no configuration files", "NOCONFIG", {}, missing},
      {"inactive application",
       "OFF",
       {},
       Dialog("Aplikacija nije dostupna. Pozovite administratora sistema.", kProgramWillEnd)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteConfig(server.url());
    server.faults().clear();
    server.store().setServiceActive(true);
    if (c.arrange) c.arrange(*this);
    server.resetCalls();
    const TLaunchResult run = Launch(c.uid);
    EXPECT_TRUE(run.ended);
    ASSERT_EQ(run.shown.size(), 1u);
    EXPECT_EQ(run.shown[0].kind, Kind::Dialog);
    EXPECT_EQ(run.shown[0].text, c.report);
    EXPECT_FALSE(run.appeared);
    EXPECT_FALSE(std::filesystem::exists(AppFolder(c.uid)));
    EXPECT_EQ(server.calls("Download_Files_Executables"), 0);
  }
}

TEST_F(LaunchFlowTest, CloseIsRefusedWhileTheDownloadRuns) {
  server.publishApp("APP1", "A", Executables(patternBytes(6 * kMiB)), {{"app.ini", "x"}});
  tvserver::Fault stall;
  stall.operation = "Download_Files_Executables";
  stall.kind = tvserver::Fault::Kind::Stall;
  stall.stall = std::chrono::milliseconds(150);
  server.faults().add(stall);
  bool stayedOpen = false;
  const TLaunchResult run = Launch("APP1", [&] {
    Form_DlgSplashScreen->Close();
    stayedOpen = Form_DlgSplashScreen->isVisible() && !Form_DlgSplashScreen->FCanClose;
  });
  EXPECT_TRUE(run.appeared);
  EXPECT_TRUE(stayedOpen);
  EXPECT_TRUE(run.ended);
  EXPECT_TRUE(run.shown.empty());
  EXPECT_TRUE(StartedIn(AppFolder("APP1")));
}

TEST_F(LaunchFlowTest, AFileThatCannotBeWrittenIsReportedAndEndsTheProgram) {
  server.publishApp("APP1", "A", Executables("x"), {{"app.ini", "x"}, {"db.ini", "y"}});
  WriteFile(AppFolder("APP1") / "db.ini" / "inside", "a folder holds the file's name");
  const TLaunchResult run = Launch("APP1");
  EXPECT_TRUE(run.ended);
  ASSERT_EQ(run.shown.size(), 1u);
  EXPECT_EQ(run.shown[0].kind, Kind::ErrorBox);
  EXPECT_NE(run.shown[0].text.find("db.ini"), std::string::npos) << run.shown[0].text;
  EXPECT_TRUE(run.canClose);
  EXPECT_TRUE(NothingStartedIn(AppFolder("APP1")));
  EXPECT_EQ(server.calls("Download_Files_Executables"), 0);
}

TEST_F(LaunchFlowTest, WithoutAMainExecutableTheFolderIsOpened) {
  tvserver::PublishSpec spec;
  spec.application.uid = "APP1";
  spec.application.naziv_ikonice = "A";
  spec.application.aktivan = "D";
  spec.executables.push_back(tvserver::PublishFile::fromBytes("readme.txt", "tekst"));
  spec.configs.push_back(tvserver::PublishFile::fromBytes("app.ini", "x"));
  server.publish(spec);
  const TLaunchResult run = Launch("APP1");
  EXPECT_TRUE(run.ended);
  EXPECT_TRUE(run.shown.empty());
  EXPECT_EQ(run.mainExeName, "");
  for (int i = 0; i < 300 && !std::filesystem::exists(OpenedFile()); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(ReadFile(OpenedFile()), AppFolder("APP1").string() + "/");
}
