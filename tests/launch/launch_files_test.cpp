#include "LaunchFiles.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "LaunchFixtures.h"

using namespace tv::launch;
using namespace tv::launch::testing;

namespace {

WS_Applications_config_files& AddConfig(WS_Array_Of_Applications_config_files& list,
                                        std::string name, std::string content) {
  auto& c = list.AddNew();
  c.file_name = std::move(name);
  c.config_file().Write(content);
  return c;
}

WS_Application_locales& AddLocale(WS_Array_Of_Application_locales& list, std::string name) {
  auto& l = list.AddNew();
  l.locale_name = std::move(name);
  return l;
}

void AddLocaleFile(WS_Application_locales& locale, std::string name, std::string content) {
  auto& f = locale.locale_files().AddNew();
  f.locale_file_name = std::move(name);
  f.locale_file().Write(content);
}

class LaunchFilesTest : public ::testing::Test {
 protected:
  std::filesystem::path App() const { return dir.path() / "app"; }
  TSafeFolder Folder() const { return TSafeFolder::OpenOrCreate(App()); }

  TempDir dir;
};

}  // namespace

TEST_F(LaunchFilesTest, ConfigurationFilesAreRewrittenAtEveryLaunch) {
  WS_Array_Of_Applications_config_files configs;
  AddConfig(configs, "app.ini", "[a]\nx=1\n");
  AddConfig(configs, "conf\\db.ini", "db");
  AddConfig(configs, "empty.ini", "");
  configs.AddNew().file_name = "never-read.ini";  // content left absent: an empty file
  WriteFile(App() / "app.ini", "old content that is longer than the new one");

  WriteConfigFiles(Folder(), configs);
  EXPECT_EQ(ReadFile(App() / "app.ini"), "[a]\nx=1\n");
  EXPECT_EQ(ReadFile(App() / "conf/db.ini"), "db");
  EXPECT_TRUE(std::filesystem::is_regular_file(App() / "empty.ini"));
  EXPECT_EQ(std::filesystem::file_size(App() / "empty.ini"), 0u);
  EXPECT_EQ(std::filesystem::file_size(App() / "never-read.ini"), 0u);
  // No temporary file is left beside them.
  size_t entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(App())) ++entries;
  EXPECT_EQ(entries, 4u);
}

TEST_F(LaunchFilesTest, AMissingApplicationFolderIsCreated) {
  WS_Array_Of_Applications_config_files configs;
  AddConfig(configs, "app.ini", "x");
  const auto deep = dir.path() / "not" / "yet" / "there";
  WriteConfigFiles(TSafeFolder::OpenOrCreate(deep), configs);
  EXPECT_EQ(ReadFile(deep / "app.ini"), "x");
}

TEST_F(LaunchFilesTest, NothingIsWrittenThroughAPlantedLink) {
  const auto outside = dir.path() / "outside";
  std::filesystem::create_directories(outside);
  WriteFile(outside / "victim", "precious");
  std::filesystem::create_directories(App());
  // A link at the file's own name is replaced by the file; its target stays as it was.
  std::filesystem::create_symlink(outside / "victim", App() / "app.ini");
  WS_Array_Of_Applications_config_files configs;
  AddConfig(configs, "app.ini", "new");
  WriteConfigFiles(Folder(), configs);
  EXPECT_FALSE(std::filesystem::is_symlink(App() / "app.ini"));
  EXPECT_EQ(ReadFile(App() / "app.ini"), "new");
  EXPECT_EQ(ReadFile(outside / "victim"), "precious");

  // A link where a subfolder belongs is refused: nothing lands in the folder it points to.
  std::filesystem::create_directory_symlink(outside, App() / "conf");
  WS_Array_Of_Applications_config_files nested;
  AddConfig(nested, "conf\\victim", "overwritten");
  EXPECT_THROW(WriteConfigFiles(Folder(), nested), EFileError);
  EXPECT_EQ(ReadFile(outside / "victim"), "precious");
}

TEST_F(LaunchFilesTest, AFileThatCannotBeWrittenNamesItselfAndLeavesNoDebris) {
  // A non-empty folder holds the configuration file's name (this fails for root too).
  WriteFile(App() / "app.ini" / "inside", "x");
  WriteFile(App() / "first.ini", "old");
  WS_Array_Of_Applications_config_files configs;
  AddConfig(configs, "first.ini", "new");
  AddConfig(configs, "app.ini", "content");
  try {
    WriteConfigFiles(Folder(), configs);
    ADD_FAILURE() << "replacing a folder by a file succeeded";
  } catch (const EFileError& e) {
    const std::string text = e.what();
    EXPECT_NE(text.find((App() / "app.ini").string()), std::string::npos) << text;
    EXPECT_NE(text.find("Is a directory"), std::string::npos) << text;
  }
  // Files before the failure stay written; no temporary file is left.
  EXPECT_EQ(ReadFile(App() / "first.ini"), "new");
  size_t entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(App())) ++entries;
  EXPECT_EQ(entries, 2u);
}

TEST_F(LaunchFilesTest, LocaleFilesAreWrittenOnlyWhenMissing) {
  WS_Array_Of_Application_locales locales;
  auto& sr = AddLocale(locales, "sr_RS");
  AddLocaleFile(sr, "app.mo", "serbian");
  AddLocaleFile(sr, "other.mo", "other");
  AddLocale(locales, "en_US");  // no files: its folders exist all the same
  // A locale folder that exists without LC_MESSAGES gets it.
  std::filesystem::create_directories(App() / "locale/sr_RS");

  WriteLocaleFiles(Folder(), &locales);
  EXPECT_EQ(ReadFile(App() / "locale/sr_RS/LC_MESSAGES/app.mo"), "serbian");
  EXPECT_EQ(ReadFile(App() / "locale/sr_RS/LC_MESSAGES/other.mo"), "other");
  EXPECT_TRUE(std::filesystem::is_directory(App() / "locale/en_US/LC_MESSAGES"));

  // Present locale files are never replaced.
  sr.locale_files().Items(0)->locale_file().Clear();
  sr.locale_files().Items(0)->locale_file().Write(std::string("newer"));
  WriteLocaleFiles(Folder(), &locales);
  EXPECT_EQ(ReadFile(App() / "locale/sr_RS/LC_MESSAGES/app.mo"), "serbian");
}

TEST_F(LaunchFilesTest, TheLocaleFolderExistsEvenWithoutLocales) {
  WriteLocaleFiles(Folder(), nullptr);
  EXPECT_TRUE(std::filesystem::is_directory(App() / "locale"));
}

TEST_F(LaunchFilesTest, UnsafeNamesAreRefusedBeforeAnythingIsWritten) {
  struct Case {
    const char* what;
    std::function<void(WS_Applications&, WS_Array_Of_Files_executables&,
                       WS_Array_Of_Applications_config_files&, WS_Array_Of_Application_locales&)>
        spoil;
  };
  const std::vector<Case> cases = {
      {"identifier", [](auto& a, auto&, auto&, auto&) { a.uid_applications = ".."; }},
      {"executable", [](auto&, auto& x, auto&, auto&) { x.Items(0)->file_name = "..\\x.exe"; }},
      {"executable drive", [](auto&, auto& x, auto&, auto&) { x.Items(0)->file_name = "C:x"; }},
      {"empty executable", [](auto&, auto& x, auto&, auto&) { x.Items(0)->file_name.clear(); }},
      {"configuration", [](auto&, auto&, auto& c, auto&) { c.Items(0)->file_name = "/etc/x"; }},
      {"locale", [](auto&, auto&, auto&, auto& l) { l.Items(0)->locale_name = "../.."; }},
      {"locale file",
       [](auto&, auto&, auto&, auto& l) {
         l.Items(0)->locale_files().Items(0)->locale_file_name = "..\\..\\..\\x";
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WS_Applications app;
    app.uid_applications = "APP1";
    WS_Array_Of_Files_executables exes;
    AddExe(exes, "A1", "App.exe", 1, "D");
    WS_Array_Of_Applications_config_files configs;
    AddConfig(configs, "app.ini", "x");
    WS_Array_Of_Application_locales locales;
    AddLocaleFile(AddLocale(locales, "sr"), "app.mo", "x");
    EXPECT_NO_THROW(CheckApplicationNames(app, exes, configs, &locales));
    c.spoil(app, exes, configs, locales);
    EXPECT_THROW(CheckApplicationNames(app, exes, configs, &locales), EUnsafeName);
  }
}

TEST_F(LaunchFilesTest, TheMainExecutableIsTheFirstMarkedExactlyD) {
  WS_Array_Of_Files_executables list;
  EXPECT_EQ(MainExecutableName(list), "");
  AddExe(list, "A1", "lib.dll", 1, "N");
  AddExe(list, "A2", "lower.exe", 1, "d");
  list.Add(nullptr);
  EXPECT_EQ(MainExecutableName(list), "");
  AddExe(list, "A3", "First.exe", 1, "D");
  AddExe(list, "A4", "Second.exe", 1, "D");
  EXPECT_EQ(MainExecutableName(list), "First.exe");
}
