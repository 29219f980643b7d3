// Every operation of the update service over real HTTP, through the project's own proxy.
#include <gtest/gtest.h>

#include <functional>

#include "ServerTestSupport.h"
#include "TestServer.h"

namespace tvserver {
namespace {

using testing::Client;
using testing::patternBytes;
using testing::sameBytes;

constexpr std::int32_t kMiB = 1 << 20;

class ServerOperations : public ::testing::Test {
 protected:
  void SetUp() override { server.setAdminPassword("admin", "tajna lozinka"); }

  Client admin() {
    Client c(server.url());
    EXPECT_TRUE(c->AdminLogin("admin", "tajna lozinka"));
    return c;
  }

  static std::string download(Client& c, const WS_Files_executables& file) {
    std::string bytes;
    const std::int64_t parts = (file.file_size + kMiB - 1) / kMiB;
    for (std::int32_t n = 1; n <= parts; ++n)
      bytes += c->Download_Files_Executables(file, n, kMiB)->ToString();
    return bytes;
  }

  TestServer server;
};

TEST_F(ServerOperations, ClientOperationsServeAPublishedApplication) {
  const std::string data = patternBytes(2 * kMiB + 17);
  server.publishApp("DEMO", "Demo aplikacija \x96 Kestrov Ra\xE8un",
                    {{"helper.dll", data}, {"Start.exe", "#!/bin/sh\n"}},
                    {{"app.ini", "[x]\n"}, {"empty.cfg", ""}},
                    {{"sr_RS", {{"app.mo", "mo bytes"}}}, {"en", {}}}, "Start.exe");
  Client c(server.url());
  EXPECT_TRUE(c->Echo());
  EXPECT_TRUE(c->Service_IsActive());

  const auto list = c->Get_Applications_List("D");
  ASSERT_EQ(list->Count(), 1);
  EXPECT_EQ(list->Items(0)->uid_applications, "DEMO");
  EXPECT_EQ(list->Items(0)->naziv_ikonice, "Demo aplikacija \x96 Kestrov Ra\xE8un");
  EXPECT_EQ(list->Items(0)->aktivan, "D");

  std::unique_ptr<WS_Applications> app;
  std::unique_ptr<WS_Array_Of_Files_executables> exes;
  std::unique_ptr<WS_Array_Of_Applications_config_files> configs;
  std::unique_ptr<WS_Array_Of_Application_locales> locales;
  ASSERT_TRUE(c->Get_Application("DEMO", app, exes, configs, locales));
  ASSERT_TRUE(app && exes && configs && locales);
  EXPECT_EQ(app->uid_applications, "DEMO");
  ASSERT_EQ(exes->Count(), 2);
  // The main executable comes first whatever the publishing order.
  EXPECT_EQ(exes->Items(0)->file_name, "Start.exe");
  EXPECT_EQ(exes->Items(0)->is_main_exe, "D");
  EXPECT_EQ(exes->Items(1)->file_name, "helper.dll");
  EXPECT_EQ(exes->Items(1)->is_main_exe, "N");
  EXPECT_EQ(exes->Items(1)->file_size, static_cast<std::int64_t>(data.size()));
  EXPECT_GT(exes->Items(1)->upload_date, 40000.0);
  ASSERT_EQ(configs->Count(), 2);
  EXPECT_EQ(configs->Items(0)->file_name, "app.ini");
  EXPECT_EQ(configs->Items(0)->config_file().ToString(), "[x]\n");
  EXPECT_EQ(configs->Items(1)->config_file().Size(), 0u);
  ASSERT_EQ(locales->Count(), 2);
  EXPECT_EQ(locales->Items(0)->locale_name, "sr_RS");
  ASSERT_EQ(locales->Items(0)->locale_files().Count(), 1);
  EXPECT_EQ(locales->Items(0)->locale_files().Items(0)->locale_file_name, "app.mo");
  EXPECT_EQ(locales->Items(0)->locale_files().Items(0)->locale_file().ToString(), "mo bytes");
  EXPECT_EQ(locales->Items(1)->locale_files().Count(), 0);

  EXPECT_TRUE(sameBytes(download(c, *exes->Items(1)), data));
  EXPECT_EQ(download(c, *exes->Items(0)), "#!/bin/sh\n");
}

TEST_F(ServerOperations, UnknownApplicationGivesFalseAndNoValues) {
  Client c(server.url());
  auto app = std::make_unique<WS_Applications>();
  std::unique_ptr<WS_Array_Of_Files_executables> exes;
  std::unique_ptr<WS_Array_Of_Applications_config_files> configs;
  std::unique_ptr<WS_Array_Of_Application_locales> locales;
  EXPECT_FALSE(c->Get_Application("NOPE", app, exes, configs, locales));
  EXPECT_FALSE(app);
  EXPECT_FALSE(exes);
  EXPECT_FALSE(configs);
  EXPECT_FALSE(locales);
}

TEST_F(ServerOperations, ApplicationListFilters) {
  server.publishApp("A", "Active", {{"a.exe", "a"}});
  PublishSpec inactive;
  inactive.application = {"B", "", "Inactive", u"", "N"};
  inactive.executables = {PublishFile::fromBytes("b.exe", "b")};
  server.publish(inactive);
  Client c(server.url());
  const auto names = [&](const std::string& filter) {
    std::string out;
    const auto list = c->Get_Applications_List(filter);
    for (int i = 0; i < list->Count(); ++i) out += list->Items(i)->uid_applications;
    return out;
  };
  EXPECT_EQ(names("D"), "A");
  EXPECT_EQ(names("N"), "B");
  EXPECT_EQ(names(""), "AB");
  EXPECT_THROW(names("X"), EROServerException);
}

// Every operation that changes something, with arguments that would be valid.
std::vector<std::pair<std::string, std::function<void(IUpdaterService&)>>> changingOperations() {
  const auto app = [] {
    WS_Applications r;
    r.uid_applications = "NEW";
    return ROClone(r);
  };
  const auto file = [] {
    WS_Files_executables r;
    r.uid_files_executables = "F";
    r.file_name = "f.exe";
    return ROClone(r);
  };
  const auto config = [] {
    WS_Applications_config_files r;
    r.uid_applications = "NEW";
    r.file_name = "c.ini";
    return ROClone(r);
  };
  const auto locale = [] {
    WS_Application_locales r;
    r.uid_applications = "NEW";
    r.locale_name = "en";
    return ROClone(r);
  };
  const auto localeFile = [] {
    WS_Locale_files r;
    r.locale_file_name = "x.mo";
    return ROClone(r);
  };
  using S = IUpdaterService;
  return {
      {"Insert_Applications", [=](S& s) { s.Insert_Applications(*app()); }},
      {"Update_Applications", [=](S& s) { s.Update_Applications(*app()); }},
      {"Delete_Applications", [=](S& s) { s.Delete_Applications("NEW"); }},
      {"Service_Activate", [=](S& s) { s.Service_Activate(); }},
      {"Service_Deactivate", [=](S& s) { s.Service_Deactivate(); }},
      {"Service_SetName", [=](S& s) { s.Service_SetName("x"); }},
      {"Insert_Files_executables", [=](S& s) { s.Insert_Files_executables(*file()); }},
      {"Update_Files_executables", [=](S& s) { s.Update_Files_executables(*file()); }},
      {"Delete_Files_executables", [=](S& s) { s.Delete_Files_executables("F"); }},
      {"Insert_Applications_config_files",
       [=](S& s) { s.Insert_Applications_config_files(*config()); }},
      {"Update_Applications_config_files",
       [=](S& s) { s.Update_Applications_config_files(*config()); }},
      {"Delete_Applications_config_files", [=](S& s) { s.Delete_Applications_config_files("C"); }},
      {"Upload_Files_Executables",
       [=](S& s) { s.Upload_Files_Executables(*file(), 1, 1024, TROBinaryMemoryStream("x")); }},
      {"Update_Applications_Executables",
       [=](S& s) {
         s.Update_Applications_Executables("NEW", WS_Array_Of_Applications_executables());
       }},
      {"Insert_Application_locales", [=](S& s) { s.Insert_Application_locales(*locale()); }},
      {"Update_Application_locales", [=](S& s) { s.Update_Application_locales(*locale()); }},
      {"Delete_Application_locales", [=](S& s) { s.Delete_Application_locales("L"); }},
      {"Insert_Locales_files", [=](S& s) { s.Insert_Locales_files(*localeFile()); }},
      {"Update_Locales_files", [=](S& s) { s.Update_Locales_files(*localeFile()); }},
      {"Delete_Locales_files", [=](S& s) { s.Delete_Locales_files("LF"); }},
  };
}

TEST_F(ServerOperations, ChangesNeedAnAdministratorSession) {
  Client anonymous(server.url());
  Client wrongPassword(server.url());
  EXPECT_FALSE(wrongPassword->AdminLogin("admin", "pogresna"));
  EXPECT_FALSE(wrongPassword->AdminLogin("nobody", "tajna lozinka"));
  for (const auto& [name, call] : changingOperations()) {
    for (Client* c : {&anonymous, &wrongPassword}) {
      try {
        call(*c->service);
        ADD_FAILURE() << name << " ran without a login";
      } catch (const EROServerException& e) {
        EXPECT_NE(std::string(e.what()).find("AdminLogin"), std::string::npos) << name;
        EXPECT_EQ(e.ServerClassName(), "EUpdaterServerError");
      }
    }
  }
  // Nothing changed, and a logged-in client may do what the others could not.
  EXPECT_TRUE(anonymous->Service_IsActive());
  EXPECT_EQ(anonymous->Service_GetName(), "Tolvara Update Server");
  Client a = admin();
  EXPECT_TRUE(a->Service_SetName("Ažuriranje"));
  EXPECT_EQ(anonymous->Service_GetName(), "Ažuriranje");
  // The session belongs to the admin's client identifier, not to everyone.
  EXPECT_THROW(anonymous->Service_Deactivate(), EROServerException);
}

TEST_F(ServerOperations, SessionEndsAfterIdleTime) {
  auto clock = std::make_shared<AdminSessions::Clock::time_point>(AdminSessions::Clock::now());
  AdminSessions sessions(std::chrono::minutes(30), [clock] { return *clock; });
  const AdminSessions::ClientId id{1, 2, 3};
  EXPECT_FALSE(sessions.open(AdminSessions::ClientId{}));  // no identifier, no session
  EXPECT_TRUE(sessions.open(id));
  *clock += std::chrono::minutes(29);
  EXPECT_TRUE(sessions.touch(id));  // use extends the session
  *clock += std::chrono::minutes(29);
  EXPECT_TRUE(sessions.touch(id));
  *clock += std::chrono::minutes(31);
  EXPECT_FALSE(sessions.touch(id));
  EXPECT_FALSE(sessions.touch(id));
}

TEST_F(ServerOperations, AdministratorBuildsAnApplicationPieceByPiece) {
  Client a = admin();
  WS_Applications app;
  app.uid_applications = "KR";
  app.naziv_ikonice = "Kestrov Ra\xE8un";
  app.opis = u"Opis \u0161";
  app.aktivan = "D";
  EXPECT_TRUE(a->Insert_Applications(app));
  EXPECT_THROW(a->Insert_Applications(app), EROServerException);  // the identifier is taken
  app.naziv_ikonice = "Kestrov";
  EXPECT_TRUE(a->Update_Applications(app));

  // An executable: a record first, then its bytes in parts, in any order.
  const std::string bytes = patternBytes(2500);
  WS_Files_executables file;
  file.file_name = "kr.exe";
  file.file_size = static_cast<std::int64_t>(bytes.size());
  file.is_main_exe = "D";
  file.file_version = "1.0";
  file.uid_files_executables = a->Insert_Files_executables(file);
  ASSERT_FALSE(file.uid_files_executables.empty());
  WS_Array_Of_Applications_executables links;
  auto& link = links.AddNew();
  link.uid_applications = "KR";
  link.uid_files_executables = file.uid_files_executables;
  link.db_akcija = "I";
  // A file whose bytes have not all arrived cannot be offered yet.
  EXPECT_THROW(a->Update_Applications_Executables("KR", links), EROServerException);
  for (const std::int32_t part : {3, 1, 2})
    EXPECT_TRUE(a->Upload_Files_Executables(
        file, part, 1000, TROBinaryMemoryStream(bytes.substr((part - 1) * 1000, 1000))));
  EXPECT_TRUE(a->Update_Applications_Executables("KR", links));
  EXPECT_THROW(a->Delete_Files_executables(file.uid_files_executables), EROServerException);
  const auto linked = a->Get_Applications_Executables("KR");
  ASSERT_EQ(linked->Count(), 1);
  EXPECT_EQ(linked->Items(0)->uid_files_executables, file.uid_files_executables);

  WS_Applications_config_files config;
  config.uid_applications = "KR";
  config.file_name = "kr.ini";
  config.config_file().Write("v=1");
  EXPECT_TRUE(a->Insert_Applications_config_files(config));
  auto configs = a->Get_Applications_config_files_List("KR");
  ASSERT_EQ(configs->Count(), 1);
  config.uid_applications_config_files = configs->Items(0)->uid_applications_config_files;
  config.config_file().Clear();
  config.config_file().Write("v=2");
  EXPECT_TRUE(a->Update_Applications_config_files(config));

  WS_Application_locales locale;
  locale.uid_applications = "KR";
  locale.locale_name = "sr";
  auto& lf = locale.locale_files().AddNew();
  lf.locale_file_name = "kr.mo";
  lf.locale_file().Write("mo");
  EXPECT_TRUE(a->Insert_Application_locales(locale));
  auto locales = a->Get_Application_Locales("KR");
  ASSERT_EQ(locales->Count(), 1);
  ASSERT_EQ(locales->Items(0)->locale_files().Count(), 1);
  locale.uid_application_locales = locales->Items(0)->uid_application_locales;
  locale.locale_name = "sr_Latn";
  EXPECT_TRUE(a->Update_Application_locales(locale));
  WS_Locale_files second;
  second.uid_application_locales = locale.uid_application_locales;
  second.locale_file_name = "extra.mo";
  EXPECT_TRUE(a->Insert_Locales_files(second));
  second.locale_file_name = "kr.mo";  // the name is taken within the locale
  EXPECT_THROW(a->Insert_Locales_files(second), EROServerException);
  WS_Locale_files changed;
  changed.Assign(*locales->Items(0)->locale_files().Items(0));
  changed.locale_file().Clear();
  changed.locale_file().Write("mo2");
  EXPECT_TRUE(a->Update_Locales_files(changed));

  Client c(server.url());
  std::unique_ptr<WS_Applications> got;
  std::unique_ptr<WS_Array_Of_Files_executables> exes;
  std::unique_ptr<WS_Array_Of_Applications_config_files> cfg;
  std::unique_ptr<WS_Array_Of_Application_locales> loc;
  ASSERT_TRUE(c->Get_Application("KR", got, exes, cfg, loc));
  EXPECT_EQ(got->naziv_ikonice, "Kestrov");
  EXPECT_EQ(got->opis, u"Opis \u0161");
  ASSERT_EQ(exes->Count(), 1);
  EXPECT_TRUE(sameBytes(download(c, *exes->Items(0)), bytes));
  EXPECT_EQ(cfg->Items(0)->config_file().ToString(), "v=2");
  ASSERT_EQ(loc->Count(), 1);
  EXPECT_EQ(loc->Items(0)->locale_name, "sr_Latn");
  ASSERT_EQ(loc->Items(0)->locale_files().Count(), 2);
  EXPECT_EQ(loc->Items(0)->locale_files().Items(0)->locale_file().ToString(), "mo2");

  // Removing: "D" takes the file out of the application; then it can be deleted.
  link.db_akcija = "D";
  EXPECT_TRUE(a->Update_Applications_Executables("KR", links));
  EXPECT_EQ(a->Get_Applications_Executables("KR")->Count(), 0);
  EXPECT_TRUE(a->Delete_Files_executables(file.uid_files_executables));
  EXPECT_FALSE(a->Delete_Files_executables(file.uid_files_executables));
  EXPECT_TRUE(a->Delete_Locales_files(loc->Items(0)->locale_files().Items(1)->uid_locale_files));
  EXPECT_TRUE(a->Delete_Application_locales(locale.uid_application_locales));
  EXPECT_TRUE(a->Delete_Applications_config_files(config.uid_applications_config_files));
  EXPECT_TRUE(a->Delete_Applications("KR"));
  EXPECT_FALSE(a->Delete_Applications("KR"));
  EXPECT_EQ(c->Get_Applications_List("")->Count(), 0);
}

TEST_F(ServerOperations, ActivationAndCodeLists) {
  server.store().addLookup("CD_APLIKACIJE", {"", "", "KR", "Kestrov Ra\xE8un", "", "D"});
  server.store().addLookup("CD_APLIKACIJE", {"", "", "PL", "Plate", "", "N"});
  Client a = admin();
  Client c(server.url());
  EXPECT_TRUE(a->Service_Deactivate());
  EXPECT_FALSE(c->Service_IsActive());
  EXPECT_TRUE(a->Service_Activate());
  EXPECT_TRUE(c->Service_IsActive());
  const auto lookups = c->Get_CD_Lookups_By_Name("CD_APLIKACIJE");
  ASSERT_EQ(lookups->Count(), 2);
  EXPECT_EQ(lookups->Items(0)->uid_cd, "KR");
  EXPECT_EQ(lookups->Items(0)->opis1, "Kestrov Ra\xE8un");
  EXPECT_EQ(lookups->Items(1)->aktivan, "N");
  EXPECT_EQ(lookups->Items(0)->uid_cd_lookups_tables, lookups->Items(1)->uid_cd_lookups_tables);
  EXPECT_EQ(c->Get_CD_Lookups_By_Name("OTHER")->Count(), 0);
  EXPECT_EQ(c->Get_Files_executables_List()->Count(), 0);
}

TEST_F(ServerOperations, UnsafeNamesAreRefused) {
  Client a = admin();
  WS_Applications app;
  app.uid_applications = "KR";
  ASSERT_TRUE(a->Insert_Applications(app));
  for (const std::string name : {"..", "../evil.exe", "sub\\x.exe", "C:x.exe", "", "a?b"}) {
    WS_Applications_config_files config;
    config.uid_applications = "KR";
    config.file_name = name;
    EXPECT_THROW(a->Insert_Applications_config_files(config), EROServerException) << name;
    WS_Files_executables file;
    file.file_name = name;
    EXPECT_THROW(a->Insert_Files_executables(file), EROServerException) << name;
  }
  app.uid_applications = "../KR";
  EXPECT_THROW(a->Insert_Applications(app), EROServerException);
}

}  // namespace
}  // namespace tvserver
