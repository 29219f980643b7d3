#include <gtest/gtest.h>

#include "SpecialFolders.h"
#include "TestSupport.h"

using namespace tv::platform;
using tvtest::ScopedEnv;

TEST(SpecialFolders, AppDataFolder) {
  const struct {
    std::optional<std::string> dataHome, home;
    std::string expected;
  } cases[] = {
      {"/data/home", "/home/u", "/data/home"},
      {"/data/home/", "/home/u", "/data/home"},
      {"relative/ignored", "/home/u", "/home/u/.local/share"},
      {"", "/home/u", "/home/u/.local/share"},
      {std::nullopt, "/home/u/", "/home/u/.local/share"},
      {std::nullopt, "/", "/.local/share"},
  };
  for (const auto& c : cases) {
    ScopedEnv data("XDG_DATA_HOME", c.dataHome);
    ScopedEnv home("HOME", c.home);
    EXPECT_EQ(AppDataFolder(), c.expected) << c.dataHome.value_or("(unset)");
  }
}

TEST(SpecialFolders, DesktopFolderFromUserDirs) {
  tvtest::TempDir config;
  ScopedEnv configHome("XDG_CONFIG_HOME", config.path().string());
  ScopedEnv home("HOME", "/home/marko");
  const struct {
    const char* what;
    std::optional<std::string> userDirs;
    std::string expected;
  } cases[] = {
      {"no file", std::nullopt, "/home/marko/Desktop"},
      {"home relative", "XDG_DESKTOP_DIR=\"$HOME/Radna površ\"\n", "/home/marko/Radna površ"},
      {"absolute, among others",
       "# written by xdg-user-dirs-update\nXDG_DOWNLOAD_DIR=\"$HOME/D\"\n"
       "XDG_DESKTOP_DIR=\"/srv/desk/\"\n",
       "/srv/desk"},
      {"escaped quote", "XDG_DESKTOP_DIR=\"$HOME/a\\\"b\"\n", "/home/marko/a\"b"},
      {"home itself", "XDG_DESKTOP_DIR=\"$HOME/\"\n", "/home/marko"},
      {"relative value ignored", "XDG_DESKTOP_DIR=\"Desk\"\n", "/home/marko/Desktop"},
      {"$HOMEX is not $HOME", "XDG_DESKTOP_DIR=\"$HOMEX/d\"\n", "/home/marko/Desktop"},
      {"unterminated", "XDG_DESKTOP_DIR=\"$HOME/x\n", "/home/marko/Desktop"},
      {"commented out", "#XDG_DESKTOP_DIR=\"/x\"\n", "/home/marko/Desktop"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(config / "user-dirs.dirs");
    if (c.userDirs) tvtest::WriteFile(config / "user-dirs.dirs", *c.userDirs);
    EXPECT_EQ(DesktopFolder(), c.expected) << c.what;
  }
}

TEST(SpecialFolders, ThinClientRoot) {
  EXPECT_EQ(ThinClientRoot(), "/mnt/d/");
}
