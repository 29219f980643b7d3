// A service that sends names meant to leave the application folder: the launch refuses before
// anything is written, and a link planted where a file belongs never redirects a write.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "FakeUpdaterServer.h"
#include "LaunchFixture.h"

using tv::launch::testing::ReadFile;
using tv::launch::testing::WriteFile;
using tv::testing::LaunchFixture;
using tv::testing::TLaunchResult;
using tv::testing::TShownWindow;

namespace {

// Answers Get_Application with an application that the test shapes, and its parts.
class THostileService : public TFakeUpdaterService {
 public:
  std::function<void(WS_Applications&, WS_Array_Of_Files_executables&,
                     WS_Array_Of_Applications_config_files&, WS_Array_Of_Application_locales&)>
      shape;

  bool Get_Application(const std::string& uid, std::unique_ptr<WS_Applications>& Applications,
                       std::unique_ptr<WS_Array_Of_Files_executables>& Executables,
                       std::unique_ptr<WS_Array_Of_Applications_config_files>& Configurations,
                       std::unique_ptr<WS_Array_Of_Application_locales>& Locales) override {
    Applications = std::make_unique<WS_Applications>();
    Applications->uid_applications = uid;
    Applications->naziv_ikonice = "Zla";
    Applications->aktivan = "D";
    Executables = std::make_unique<WS_Array_Of_Files_executables>();
    auto& exe = Executables->AddNew();
    exe.uid_files_executables = "E1";
    exe.file_name = "start.sh";
    exe.is_main_exe = "D";
    exe.file_size = static_cast<int64_t>(tv::testing::kStartScript.size());
    Configurations = std::make_unique<WS_Array_Of_Applications_config_files>();
    auto& config = Configurations->AddNew();
    config.file_name = "app.ini";
    config.config_file().Write(std::string("x"));
    Locales = std::make_unique<WS_Array_Of_Application_locales>();
    auto& locale = Locales->AddNew();
    locale.locale_name = "sr";
    auto& file = locale.locale_files().AddNew();
    file.locale_file_name = "app.mo";
    file.locale_file().Write(std::string("mo"));
    if (shape) shape(*Applications, *Executables, *Configurations, *Locales);
    return true;
  }

  std::unique_ptr<TROBinaryMemoryStream> Download_Files_Executables(const WS_Files_executables&,
                                                                    int32_t, int32_t) override {
    return std::make_unique<TROBinaryMemoryStream>(tv::testing::kStartScript);
  }
};

class HostileServiceTest : public LaunchFixture {
 protected:
  HostileServiceTest() { WriteConfig(server.Url()); }
  std::shared_ptr<THostileService> service = std::make_shared<THostileService>();
  TFakeUpdaterServer server{service};
};

}  // namespace

TEST_F(HostileServiceTest, NamesThatLeaveTheApplicationFolderRefuseTheLaunch) {
  using Shape = decltype(THostileService::shape);
  const std::vector<std::pair<const char*, Shape>> cases = {
      {"executable climbing out",
       [](auto&, auto& x, auto&, auto&) { x.Items(0)->file_name = "..\\..\\evil.sh"; }},
      {"absolute executable",
       [](auto&, auto& x, auto&, auto&) { x.Items(0)->file_name = "/tmp/x"; }},
      {"executable on a drive",
       [](auto&, auto& x, auto&, auto&) { x.Items(0)->file_name = "C:\\evil.exe"; }},
      {"empty executable name", [](auto&, auto& x, auto&, auto&) { x.Items(0)->file_name = ""; }},
      {"configuration climbing out",
       [](auto&, auto&, auto& c, auto&) { c.Items(0)->file_name = "../../../.profile"; }},
      {"locale climbing out", [](auto&, auto&, auto&, auto& l) { l.Items(0)->locale_name = ".."; }},
      {"locale file climbing out",
       [](auto&, auto&, auto&, auto& l) {
         l.Items(0)->locale_files().Items(0)->locale_file_name = "..\\..\\..\\..\\x";
       }},
      {"identifier climbing out", [](auto& a, auto&, auto&, auto&) { a.uid_applications = ".."; }},
  };
  for (const auto& [what, shape] : cases) {
    SCOPED_TRACE(what);
    service->shape = shape;
    const TLaunchResult run = Launch("APP1");
    EXPECT_TRUE(run.ended);
    ASSERT_EQ(run.shown.size(), 1u);
    EXPECT_EQ(run.shown[0].text,
              "Greška prilikom učitavanja aplikacije.\n\nProgram će biti prekinut.");
    // Nothing was written anywhere below the data folder.
    EXPECT_FALSE(std::filesystem::exists(home_ / ".local/share/Kestrov"));
    EXPECT_TRUE(std::filesystem::is_empty(home_ / ".local/share"));
  }
}

TEST_F(HostileServiceTest, FolderNamesFromTheServiceMayNestAndLinksAreNotFollowed) {
  service->shape = [](auto&, auto& x, auto& c, auto&) {
    x.Items(0)->file_name = "bin\\start.sh";
    c.Items(0)->file_name = "conf/app.ini";
  };
  const auto outside = dir_.path() / "outside";
  WriteFile(outside / "app.ini", "precious");
  std::filesystem::create_directories(AppFolder("APP1"));
  std::filesystem::create_directory_symlink(outside, AppFolder("APP1") / "conf");

  const TLaunchResult run = Launch("APP1");
  EXPECT_TRUE(run.ended);
  ASSERT_EQ(run.shown.size(), 1u);
  EXPECT_EQ(run.shown[0].kind, TShownWindow::Kind::ErrorBox);
  EXPECT_EQ(ReadFile(outside / "app.ini"), "precious");
  EXPECT_TRUE(NothingStartedIn(AppFolder("APP1")));

  std::filesystem::remove(AppFolder("APP1") / "conf");
  const TLaunchResult repaired = Launch("APP1");
  EXPECT_TRUE(repaired.shown.empty());
  EXPECT_EQ(ReadFile(AppFolder("APP1") / "conf/app.ini"), "x");
  // The working folder is the application folder, wherever the executable lies.
  EXPECT_TRUE(StartedIn(AppFolder("APP1")));
  EXPECT_TRUE(std::filesystem::exists(AppFolder("APP1") / "bin/start.sh"));
}

TEST_F(HostileServiceTest, EchoAnsweringFalseMeansAnUnavailableService) {
  service->echo = [] { return false; };
  const TLaunchResult run = Launch("APP1");
  EXPECT_TRUE(run.ended);
  ASSERT_EQ(run.shown.size(), 1u);
  EXPECT_EQ(run.shown[0].text,
            "Tolvara Updater servis nije dostupan.\n\nProverite da li je servis startovan.");
  EXPECT_EQ(service->Calls(), std::vector<std::string>{"Echo"});
}
