#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "CheckGroup.h"
#include "DesktopEntry.h"
#include "FakeUpdaterServer.h"
#include "InstallerFixture.h"

namespace fs = std::filesystem;
using Calls = std::vector<std::string>;

namespace {

const std::string kUnavailable =
    "dlg:Tolvara Updater servis nije dostupan.\nProverite da li je servis startovan.";
const std::string kUpdating = "dlg:Ažuriranje sistema u toku!!!\nPokušajte kasnije.";
const std::string kInstalled = "dlg:Aplikacije su uspešno instalirane.";
const std::string kInstallFailed =
    "dlg:Instalacija aplikacija nije uspela.\nKontaktirajte Kestrov tehničku podršku.";

// What a report says, without the line breaks the dialog's layout may add or drop.
std::string Flat(const std::string& text) {
  std::string flat;
  for (const char c : text) {
    if (c == '\n' && (flat.empty() || flat.back() == '\n')) continue;
    flat += c;
  }
  while (!flat.empty() && (flat.back() == '\n' || flat.back() == ' ')) flat.pop_back();
  return flat;
}
std::vector<std::string> Flat(const std::vector<std::string>& reports) {
  std::vector<std::string> flat;
  for (const auto& report : reports) flat.push_back(Flat(report));
  return flat;
}

void AddApplication(WS_Array_Of_Applications& list, std::string uid, std::string name,
                    std::u16string opis = {}) {
  WS_Applications& application = list.AddNew();
  application.uid_applications = std::move(uid);
  application.naziv_ikonice = std::move(name);
  application.opis = std::move(opis);
  application.aktivan = "D";
}

class InstallerWindow : public InstallerFixture {
 protected:
  void StartServer() {
    service_ = std::make_shared<TFakeUpdaterService>();
    server_ = std::make_unique<TFakeUpdaterServer>(service_);
  }
  void OfferApplications(std::function<void(WS_Array_Of_Applications&)> fill) {
    service_->applications = [fill] {
      auto list = std::make_unique<WS_Array_Of_Applications>();
      fill(*list);
      return list;
    };
  }
  std::vector<std::string> Captions() const {
    std::vector<std::string> captions;
    for (int i = 0; i < Form_Main->cxCheckGroup1->Count(); ++i) {
      captions.push_back(Form_Main->cxCheckGroup1->ItemCaption(i).toStdString());
    }
    return captions;
  }
  void Tick(const std::string& caption) {
    for (int i = 0; i < Form_Main->cxCheckGroup1->Count(); ++i) {
      if (Form_Main->cxCheckGroup1->ItemCaption(i).toStdString() == caption) {
        Form_Main->cxCheckGroup1->Item(i)->click();
        return;
      }
    }
    ADD_FAILURE() << "no item " << caption;
  }

 public:
  std::string ServerUrl() const { return server_->Url(); }

 protected:
  std::shared_ptr<TFakeUpdaterService> service_;
  std::unique_ptr<TFakeUpdaterServer> server_;
};

TEST_F(InstallerWindow, AvailabilityChecksReportOnceAndNeverShowTheWindowWhenTheyFail) {
  struct Case {
    const char* name;
    std::function<std::string(InstallerWindow&)> url;
    std::function<bool()> echo;
    std::function<bool()> active;
    std::vector<std::string> reports;
    Calls calls;
    bool shown;
  };
  const auto serverUrl = [](InstallerWindow& t) { return t.ServerUrl(); };
  const auto yes = [] { return true; };
  const auto no = [] { return false; };
  const std::vector<Case> cases = {
      {"service down",
       [](InstallerWindow&) { return UnreachableServiceUrl(); },
       yes,
       yes,
       {kUnavailable},
       {},
       false},
      {"echo false", serverUrl, no, yes, {kUnavailable}, {"Echo"}, false},
      {"inactive", serverUrl, yes, no, {kUpdating}, {"Echo", "Service_IsActive"}, false},
      {"Service_IsActive fails",
       serverUrl,
       yes,
       []() -> bool { throw EROException("database is locked"); },
       {kUnavailable},
       {"Echo", "Service_IsActive"},
       false},
      {"ftp scheme",
       [](InstallerWindow& t) { return "ftp" + t.ServerUrl().substr(4); },
       yes,
       yes,
       {kUnavailable},
       {},
       false},
      {"both pass",
       serverUrl,
       yes,
       yes,
       {},
       {"Echo", "Service_IsActive", "Get_Applications_List(D)"},
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RestartApplication();
    StartServer();
    service_->echo = c.echo;
    service_->isActive = c.active;
    WriteConfig("ServiceURL=" + c.url(*this) + "\r\n");
    const std::size_t before = watcher_.Reports().size();
    CreateWindows();

    const bool shown = RunInstaller();

    const std::vector<std::string> reports(watcher_.Reports().begin() + before,
                                           watcher_.Reports().end());
    EXPECT_EQ(Flat(reports), c.reports);
    EXPECT_EQ(service_->Calls(), c.calls);
    EXPECT_EQ(shown, c.shown);
  }
}

TEST_F(InstallerWindow, ListIsReversedWithCaptionsInSerbianAndTheFolderBoxShowsAppPath) {
  StartServer();
  OfferApplications([](WS_Array_Of_Applications& list) {
    AddApplication(list, "A", "Alpha", u"Beta");
    AddApplication(list, "B", "\x8aifarnik \xe8\xe6\x9e\xf0", u"");  // Šifarnik čćžđ (cp1250)
    AddApplication(list, "C", "Obra\xe8un",
                   u"Zarade i doprinosi \u0160\u0110\u010c\u0106\u017d");  // opis in UTF-16
  });
  // App_Path in cp1250 as the file holds it: /srv/Aplikacije š
  WriteConfig("ServiceURL=" + server_->Url() + "\r\nApp_Path=/srv/Aplikacije \x9a\r\n");
  CreateWindows();

  std::vector<std::string> captions;
  std::string folderBox;
  EXPECT_TRUE(RunInstaller([&] {
    captions = Captions();
    folderBox = Form_Main->cxButtonEdit1->text().toStdString();
    for (int i = 0; i < Form_Main->cxCheckGroup1->Count(); ++i) {
      EXPECT_FALSE(Form_Main->cxCheckGroup1->Checked(i)) << "items start unticked";
      EXPECT_EQ(Form_Main->cxCheckGroup1->ItemId(i), i);
    }
  }));

  EXPECT_EQ(captions, (std::vector<std::string>{"Obračun(Zarade i doprinosi ŠĐČĆŽ)",
                                                "Šifarnik čćžđ", "Alpha(Beta)"}));
  EXPECT_EQ(folderBox, "/srv/Aplikacije š");
  EXPECT_TRUE(watcher_.Reports().empty());
}

TEST_F(InstallerWindow, ListFailureIsReportedAndEndsTheProgram) {
  StartServer();
  service_->applications = []() -> std::unique_ptr<WS_Array_Of_Applications> {
    throw EROException("Stream read error");
  };
  WriteConfig("ServiceURL=" + server_->Url() + "\r\n");
  CreateWindows();
  EXPECT_FALSE(RunInstaller());
  EXPECT_EQ(Flat(watcher_.Reports()),
            (std::vector<std::string>{"dlg:Greška prilikom učitavanja liste aplikacija.\n"
                                      "Program će biti prekinut."}));
}

TEST_F(InstallerWindow, AbsentOrEmptyListIsNoError) {
  for (const bool absent : {true, false}) {
    StartServer();
    if (!absent) OfferApplications([](WS_Array_Of_Applications&) {});
    WriteConfig("ServiceURL=" + server_->Url() + "\r\n");
    RestartApplication();
    CreateWindows();
    int items = -1;
    EXPECT_TRUE(RunInstaller([&] { items = Form_Main->cxCheckGroup1->Count(); }));
    EXPECT_EQ(items, 0);
    EXPECT_TRUE(watcher_.Reports().empty());
  }
}

class InstallerInstall : public InstallerWindow {
 protected:
  void SetUp() override {
    StartServer();
    OfferApplications([](WS_Array_Of_Applications& list) {
      AddApplication(list, "U1", "Plate \"2024\" $x", u"");
      AddApplication(list, "U2", "Bad/Name", u"");
      AddApplication(list, "U3", "\x8aifarnik", u"");  // Šifarnik
    });
    root_ = dir_.path() / "Moje aplikacije";
    fs::create_directories(root_);
  }
  // Runs the installer, ticks the captions, puts folderBox into the edit, presses the button.
  void Install(const std::vector<std::string>& ticks, const std::string& folderBox) {
    CreateWindows();
    EXPECT_TRUE(RunInstaller([&] {
      for (const auto& caption : ticks) Tick(caption);
      Form_Main->cxButtonEdit1->setText(QString::fromStdString(folderBox));
      Form_Main->btn_Save->click();
    }));
  }
  std::vector<std::string> DesktopEntries() const {
    std::vector<std::string> names;
    if (!fs::exists(Desktop())) return names;
    for (const auto& entry : fs::directory_iterator(Desktop())) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path root_;
};

TEST_F(InstallerInstall, TickedApplicationsGetEntryAndEmptyFolderAndTheRootIsStored) {
  WriteConfig("ServiceURL=" + server_->Url() + "\r\nApp_Path=/old\r\n");
  fs::create_directories(root_ / "Kestrov" / "U3" / "locale");
  std::ofstream(root_ / "Kestrov" / "U3" / "U3.kvx") << "old manifest";

  Install({"Šifarnik", "Plate \"2024\" $x"}, "  " + root_.string() + " ");

  EXPECT_EQ(Flat(watcher_.Reports()), (std::vector<std::string>{kInstalled}));
  EXPECT_EQ(DesktopEntries(),
            (std::vector<std::string>{"Plate \"2024\" $x.desktop", "Šifarnik.desktop"}));
  for (const char* uid : {"U1", "U3"}) {
    EXPECT_TRUE(fs::is_directory(root_ / "Kestrov" / uid)) << uid;
    EXPECT_TRUE(fs::is_empty(root_ / "Kestrov" / uid)) << uid;
  }
  EXPECT_FALSE(fs::exists(root_ / "Kestrov" / "U2"));

  const auto group =
      tv::platform::ReadDesktopEntryGroup(ReadFileText(Desktop() / "Šifarnik.desktop"));
  const auto argv = tv::platform::ParseExecLine(group.at("Exec"));
  ASSERT_TRUE(argv.has_value());
  ASSERT_EQ(argv->size(), 2u);
  EXPECT_EQ((*argv)[1], "U3");
  EXPECT_EQ(fs::path((*argv)[0]).filename(), fs::read_symlink("/proc/self/exe").filename());
  EXPECT_EQ(tv::platform::UnescapeDesktopString(group.at("Name")), "Šifarnik");
  struct stat info {};
  ASSERT_EQ(stat((Desktop() / "Šifarnik.desktop").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0755u);

  // The trimmed root as chosen, without an added delimiter.
  EXPECT_EQ(ConfigValue("App_Path"), root_.string());
}

TEST_F(InstallerInstall, FailedShortcutStopsTheRunAndLeavesTheConfigurationAlone) {
  WriteConfig("ServiceURL=" + server_->Url() + "\r\nApp_Path=/old\r\n");
  const std::string before = ReadFileText(ConfigFile());

  // Items run in list order (reversed): Šifarnik, Bad/Name, Plate.
  Install({"Plate \"2024\" $x", "Bad/Name", "Šifarnik"}, root_.string());

  EXPECT_EQ(Flat(watcher_.Reports()), (std::vector<std::string>{kInstallFailed}));
  EXPECT_EQ(DesktopEntries(), (std::vector<std::string>{"Šifarnik.desktop"}));
  EXPECT_TRUE(fs::is_directory(root_ / "Kestrov" / "U3"));
  EXPECT_FALSE(fs::exists(root_ / "Kestrov" / "U2"));
  EXPECT_FALSE(fs::exists(root_ / "Kestrov" / "U1"));
  EXPECT_FALSE(fs::exists(dir_.path() / "Bad")) << "nothing is written outside the desktop";
  EXPECT_EQ(ReadFileText(ConfigFile()), before);
}

TEST_F(InstallerInstall, RootRulesForThinClientNothingTickedAndAMissingFile) {
  struct Case {
    const char* name;
    std::string config;
    std::vector<std::string> ticks;
    std::string folderBox;
    bool deleteConfig;
    std::optional<std::string> stored;
  };
  const std::string url = "ServiceURL=" + server_->Url() + "\r\n";
  const std::vector<Case> cases = {
      // A thin client installs under /mnt/d whatever the box shows; nothing under the box's root.
      {"thin client", url + "ThinClient=yEs\r\n", {"Šifarnik"}, root_.string(), false, "/mnt/d"},
      {"nothing ticked", url, {}, " " + root_.string() + "/ ", false, root_.string() + "/"},
      {"nothing ticked, thin client",
       url + "ThinClient=YES\r\n",
       {},
       root_.string(),
       false,
       "/mnt/d"},
      {"file deleted meanwhile", url, {"Šifarnik"}, root_.string(), true, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RestartApplication();
    fs::remove_all(root_ / "Kestrov");
    fs::remove_all(Desktop());
    WriteConfig(c.config);
    const std::size_t before = watcher_.Reports().size();
    CreateWindows();
    EXPECT_TRUE(RunInstaller([&] {
      if (c.deleteConfig) fs::remove(ConfigFile());
      for (const auto& caption : c.ticks) Tick(caption);
      Form_Main->cxButtonEdit1->setText(QString::fromStdString(c.folderBox));
      Form_Main->btn_Save->click();
    }));
    const std::vector<std::string> reports(watcher_.Reports().begin() + before,
                                           watcher_.Reports().end());
    EXPECT_EQ(Flat(reports), (std::vector<std::string>{kInstalled}));
    if (c.stored) {
      EXPECT_EQ(ConfigValue("App_Path"), c.stored);
    } else {
      EXPECT_FALSE(fs::exists(ConfigFile())) << "a deleted file is not created again";
      EXPECT_TRUE(fs::is_directory(root_ / "Kestrov" / "U3"));
    }
    if (c.config.find("ThinClient") != std::string::npos) {
      EXPECT_FALSE(fs::exists(root_ / "Kestrov"));
    }
  }
}

TEST_F(InstallerInstall, EmptyFolderBoxIsRefusedBeforeAnythingIsWritten) {
  WriteConfig("ServiceURL=" + server_->Url() + "\r\nApp_Path=\r\n");
  Install({"Šifarnik"}, "  ");
  ASSERT_EQ(watcher_.Reports().size(), 1u);
  EXPECT_EQ(watcher_.Reports()[0].rfind("dlg:Instalacija aplikacija nije uspela.", 0), 0u);
  EXPECT_TRUE(DesktopEntries().empty());
  EXPECT_EQ(ConfigValue("App_Path"), "");
}

TEST_F(InstallerInstall, EscapePressesTheCancelButtonAndEndsTheProgram) {
  WriteConfig("ServiceURL=" + server_->Url() + "\r\n");
  CreateWindows();
  bool cancelled = false;
  QObject::connect(Form_Main->btn_Cancel, &QPushButton::clicked, [&] { cancelled = true; });
  QTimer poll;
  poll.setInterval(5);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (!Form_Main || !Form_Main->isVisible()) return;
    poll.stop();
    Form_Main->activateWindow();
    QApplication::setActiveWindow(Form_Main);
    QTest::keyClick(Form_Main->cxCheckGroup1, Qt::Key_Escape);
  });
  poll.start();
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [] { Application->Terminate(); });
  guard.start(10000);
  Application->SetMainForm(Form_Main);
  Application->Run();
  EXPECT_TRUE(cancelled);
  EXPECT_TRUE(guard.isActive()) << "the window closed by itself, not by the time-out";
}

}  // namespace

namespace {

TEST_F(InstallerWindow, FolderChooserStartsWhereItShouldAndAppendsOneDelimiter) {
  StartServer();
  WriteConfig("ServiceURL=" + ServerUrl() + "\r\nApp_Path=/from/config\r\n");
  const fs::path chosen = dir_.path() / "Izbor š";
  fs::create_directories(chosen);
  // The chooser answers: each step names the folder to pick, or nothing to cancel.
  struct Step {
    std::optional<fs::path> pick;
    std::string expectedStart;
    std::string expectedBox;
  };
  const std::string startup = QDir::currentPath().toStdString();
  const std::vector<Step> steps = {
      {chosen, startup, chosen.string() + "/"},
      {std::nullopt, chosen.string(), chosen.string() + "/"},
      {fs::path("/"), chosen.string(), "/"},
  };
  std::size_t step = 0;
  std::vector<std::string> starts;
  watcher_.onModal = [&](QWidget* modal) {
    auto* chooser = qobject_cast<QFileDialog*>(modal);
    if (chooser == nullptr || step >= steps.size()) return false;
    starts.push_back(chooser->directory().absolutePath().toStdString());
    if (steps[step].pick) {
      chooser->selectFile(QString::fromStdString(steps[step].pick->string()));
      static_cast<QDialog*>(chooser)->accept();
    } else {
      chooser->reject();
    }
    return true;
  };
  CreateWindows();
  std::vector<std::string> boxes;
  EXPECT_TRUE(RunInstaller([&] {
    EXPECT_EQ(Form_Main->cxButtonEdit1->text().toStdString(), "/from/config");
    EXPECT_TRUE(Form_Main->cxButtonEdit1->isReadOnly());
    for (step = 0; step < steps.size(); ++step) {
      Form_Main->cxButtonEdit1Button->click();
      boxes.push_back(Form_Main->cxButtonEdit1->text().toStdString());
    }
  }));
  ASSERT_EQ(starts.size(), steps.size());
  for (std::size_t i = 0; i < steps.size(); ++i) {
    EXPECT_EQ(starts[i], steps[i].expectedStart) << "step " << i;
    EXPECT_EQ(boxes[i], steps[i].expectedBox) << "step " << i;
  }
}

}  // namespace

namespace {

TEST_F(InstallerWindow, LoadApplicationHandsOverWhatCameAndReportsAFailedCall) {
  StartServer();
  WriteConfig("ServiceURL=" + ServerUrl() + "\r\n");
  CreateWindows();
  std::unique_ptr<WS_Applications> application;
  std::unique_ptr<WS_Array_Of_Files_executables> executables;
  std::unique_ptr<WS_Array_Of_Applications_config_files> configurations;
  auto locales = std::make_unique<WS_Array_Of_Application_locales>();  // replaced by none

  EXPECT_TRUE(Form_Main->LoadApplication("U1", application, executables, configurations, locales));
  ASSERT_NE(application, nullptr);
  EXPECT_EQ(application->uid_applications, "U1");
  EXPECT_EQ(executables, nullptr);
  EXPECT_EQ(configurations, nullptr);
  EXPECT_EQ(locales, nullptr);
  EXPECT_TRUE(watcher_.Reports().empty());
  EXPECT_FALSE(Application->QuitRequested());

  EXPECT_FALSE(
      Form_Main->LoadApplication("NONE", application, executables, configurations, locales));
  EXPECT_EQ(Flat(watcher_.Reports()),
            (std::vector<std::string>{"dlg:Greška prilikom učitavanja aplikacije.\n"
                                      "Program će biti prekinut."}));
  EXPECT_TRUE(Application->QuitRequested());
  EXPECT_EQ(service_->Calls(), (Calls{"Get_Application(U1)", "Get_Application(NONE)"}));
}

}  // namespace
