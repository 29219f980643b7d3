#include <gtest/gtest.h>

#include "Configuration.h"
#include "ExePath.h"
#include "PlatformError.h"
#include "TestSupport.h"

namespace fs = std::filesystem;
using Outcome = ConfigurationResult::Outcome;

namespace {

class ConfigurationTest : public ::testing::Test {
 protected:
  tvtest::TempDir dir;
  fs::path file = dir / "TvUpdater.config";
};

std::size_t CountCharacters(std::string_view utf8) {
  std::size_t count = 0;
  for (char c : utf8) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

}  // namespace

TEST(ConfigurationMessage, MissingFileMessageIs78Characters) {
  EXPECT_EQ(CountCharacters(kMissingConfigurationMessage), 78u);
  EXPECT_EQ(kMissingConfigurationMessage.size(), 79u) << "ć takes two bytes";
  EXPECT_TRUE(kMissingConfigurationMessage.ends_with("prekinu"));
  EXPECT_EQ(ConfigurationFilePath(), tv::platform::ExecutableFolder() / "TvUpdater.config");
}

TEST_F(ConfigurationTest, Cases) {
  const std::string home = "/home/u/.local/share";
  const struct {
    const char* what;
    std::optional<std::string> before;  // std::nullopt: no file
    std::string appData;                // what the application-data folder is (UTF-8)
    Outcome outcome;
    std::optional<std::string> url, thin, appPath;
    std::optional<std::string> after;  // std::nullopt: the file is unchanged
  } cases[] = {
      {"one section without keys", "[Postavke]\n", home, Outcome::Read, "http://127.0.0.1:8091/bin",
       "NO", home, "[Postavke]\nApp_Path=" + home + "\n"},
      {"the next start reads the value back", "[Postavke]\nApp_Path=" + home + "\n", "/other",
       Outcome::Read, "http://127.0.0.1:8091/bin", "NO", home, std::nullopt},
      {"any section name", "[bilo šta]\nserviceurl=https://srv:9/bin\nTHINCLIENT=yes\n", home,
       Outcome::Read, "https://srv:9/bin", "yes", home,
       "[bilo šta]\nserviceurl=https://srv:9/bin\nTHINCLIENT=yes\nApp_Path=" + home + "\n"},
      {"only the first of two sections",
       "[A]\nThinClient=Yes\n\n[B]\nServiceURL=http://b\nApp_Path=/b\n", home, Outcome::Read,
       "http://127.0.0.1:8091/bin", "Yes", home,
       "[A]\nThinClient=Yes\nApp_Path=" + home + "\n\n[B]\nServiceURL=http://b\nApp_Path=/b\n"},
      {"empty App_Path is kept", "[S]\nApp_Path=\n", home, Outcome::Read,
       "http://127.0.0.1:8091/bin", "NO", "", std::nullopt},
      {"values exactly as read",
       "[S]\r\nServiceURL =  \" ftp://x/bin \" \r\nThinClient= Y\r\nApp_Path=D:\\Kor\x8A\r\n", home,
       Outcome::Read, " ftp://x/bin ", "Y", "D:\\Kor\x8A", std::nullopt},
      {"Serbian letters in the folder are stored in cp1250", "[S]\n", "/home/đorđe/.local/share",
       Outcome::Read, "http://127.0.0.1:8091/bin", "NO",
       "/home/\xF0or\xF0"
       "e/.local/share",
       "[S]\nApp_Path=/home/\xF0or\xF0"
       "e/.local/share\n"},
      {"a folder the code page cannot hold is not stored", "[S]\n", "/home/иван/.local/share",
       Outcome::Read, "http://127.0.0.1:8091/bin", "NO", "", std::nullopt},
      {"unknown folder", "[S]\n", "", Outcome::Read, "http://127.0.0.1:8091/bin", "NO", "",
       "[S]\nApp_Path=\n"},
      {"keys but no section", "ServiceURL=http://x\n", home, Outcome::NoSection, std::nullopt,
       std::nullopt, std::nullopt, std::nullopt},
      {"empty file", "", home, Outcome::NoSection, std::nullopt, std::nullopt, std::nullopt,
       std::nullopt},
      {"no file", std::nullopt, home, Outcome::FileMissing, std::nullopt, std::nullopt,
       std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    fs::remove(file);
    if (c.before) tvtest::WriteFile(file, *c.before);
    const auto result = ReadConfigurationFile(file, [&] { return c.appData; });
    EXPECT_EQ(result.outcome, c.outcome) << c.what;
    EXPECT_EQ(result.ServiceURL, c.url) << c.what;
    EXPECT_EQ(result.ThinClient, c.thin) << c.what;
    EXPECT_EQ(result.AppPath, c.appPath) << c.what;
    EXPECT_EQ(result.appPathWritten, c.after.has_value()) << c.what;
    if (c.before) {
      EXPECT_EQ(tvtest::ReadFile(file), c.after.value_or(*c.before)) << c.what;
    }
    EXPECT_EQ(fs::exists(file), c.before.has_value()) << c.what << ": the file is never created";
    switch (c.outcome) {
      case Outcome::FileMissing:
        EXPECT_EQ(result.error, kMissingConfigurationMessage);
        break;
      case Outcome::NoSection:
        EXPECT_EQ(result.error, "List index out of bounds (0)");
        break;
      default:
        EXPECT_EQ(result.error, "") << c.what;
    }
  }
}

TEST_F(ConfigurationTest, AFolderWithTheFilesNameIsNoFile) {
  fs::create_directory(file);
  EXPECT_EQ(ReadConfigurationFile(file, [] { return "/x"; }).outcome, Outcome::FileMissing);
}

TEST_F(ConfigurationTest, TheFolderIsAskedAgainForTheValueInUse) {
  tvtest::WriteFile(file, "[S]\n");
  int calls = 0;
  const auto result =
      ReadConfigurationFile(file, [&] { return ++calls == 1 ? "/first" : "/second"; });
  EXPECT_EQ(tvtest::ReadFile(file), "[S]\nApp_Path=/first\n");
  EXPECT_EQ(result.AppPath, "/second");
}

TEST_F(ConfigurationTest, TheDefaultFolderIsTheUsersDataFolder) {
  tvtest::ScopedEnv data("XDG_DATA_HOME", "/srv/data/marko/");
  tvtest::WriteFile(file, "[S]\n");
  EXPECT_EQ(ReadConfigurationFile(file).AppPath, "/srv/data/marko");
}

TEST_F(ConfigurationTest, AFileTheUserCannotWrite) {
  tvtest::WriteFile(file, "[S]\nServiceURL=http://s/bin\n");
  ::chmod(file.c_str(), 0444);
  ::chmod(dir.path().c_str(), 0555);
  const std::string result = tvtest::RunUnprivileged([&] {
    const auto r = ReadConfigurationFile(file, [] { return "/home/u"; });
    std::string appPath = r.AppPath ? "set" : "unset";
    return std::to_string(static_cast<int>(r.outcome)) + "|" + r.error + "|" +
           r.ServiceURL.value_or("-") + "|" + r.ThinClient.value_or("-") + "|" + appPath;
  });
  ::chmod(dir.path().c_str(), 0755);
  EXPECT_EQ(result, std::to_string(static_cast<int>(Outcome::Failed)) + "|Unable to write to " +
                        file.string() + "|http://s/bin|NO|unset");
  EXPECT_EQ(tvtest::ReadFile(file), "[S]\nServiceURL=http://s/bin\n");
}

TEST_F(ConfigurationTest, StoringTheInstallRoot) {
  tvtest::WriteFile(file, "[Glavna]\nApp_Path=/old\n[Druga]\nApp_Path=/x\n");
  StoreAppPath(file, "/opt/apps");
  EXPECT_EQ(tvtest::ReadFile(file), "[Glavna]\nApp_Path=/opt/apps\n[Druga]\nApp_Path=/x\n");
  EXPECT_EQ(ReadConfigurationFile(file, [] { return "/unused"; }).AppPath, "/opt/apps")
      << "the next start offers the stored root";

  tvtest::WriteFile(file, "[S]\n");
  StoreAppPath(file, "/mnt/d/");
  EXPECT_EQ(tvtest::ReadFile(file), "[S]\nApp_Path=/mnt/d/\n");

  fs::remove(file);
  EXPECT_NO_THROW(StoreAppPath(file, "/opt/apps"));
  EXPECT_FALSE(fs::exists(file)) << "a missing file is not created";

  tvtest::WriteFile(file, "; nothing\n");
  try {
    StoreAppPath(file, "/opt/apps");
    FAIL();
  } catch (const tv::platform::PlatformError& e) {
    EXPECT_EQ(std::string(e.what()), "List index out of bounds (0)");
  }
}

TEST_F(ConfigurationTest, StoringIntoAFileTheUserCannotWrite) {
  tvtest::WriteFile(file, "[S]\n");
  ::chmod(file.c_str(), 0444);
  ::chmod(dir.path().c_str(), 0555);
  const std::string result = tvtest::RunUnprivileged([&] {
    try {
      StoreAppPath(file, "/opt");
      return std::string("stored");
    } catch (const tv::platform::PlatformError& e) {
      return std::string(e.what());
    }
  });
  ::chmod(dir.path().c_str(), 0755);
  EXPECT_EQ(result, "Unable to write to " + file.string());
  EXPECT_EQ(tvtest::ReadFile(file), "[S]\n");
}
