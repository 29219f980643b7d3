#include "AppPaths.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SpecialFolders.h"

using namespace tv::launch;

TEST(AppPaths, SafeRelativePathAcceptsNamesInsideTheFolder) {
  struct Case {
    std::string name;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"App.exe", "App.exe"},
      {"bin\\App.exe", "bin/App.exe"},
      {"bin/lib/x.dll", "bin/lib/x.dll"},
      {"bin\\\\x.dll", "bin/x.dll"},  // doubled separator
      {".\\x.dll", "x.dll"},          // "." steps are dropped
      {"..x.dll", "..x.dll"},         // dots inside a name are harmless
      {"a..\\b", "a../b"},
      {"\x8a"
       "ablon.exe",
       "\xc5\xa0"
       "ablon.exe"},  // cp1250 Š becomes UTF-8 Š
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SafeRelativePath(c.name).string(), c.expected);
  }
}

TEST(AppPaths, SafeRelativePathRefusesNamesThatLeaveTheFolder) {
  const std::vector<std::string> refused = {
      "",          "..",        "..\\App.exe", "bin/../../App.exe", "/etc/passwd",
      "\\App.exe", "C:App.exe", "C:\\App.exe", "App.exe:stream",    "bin\\",
      "bin/",      ".",         "bin/.",       "\\\\server\\share", std::string("a\0b", 3),
      "a\nb",      "./",
  };
  for (const auto& name : refused) {
    SCOPED_TRACE(name);
    EXPECT_THROW(SafeRelativePath(name), EUnsafeName);
  }
}

TEST(AppPaths, FolderNamesAreSingleSafeSteps) {
  for (const std::string good : {"APP1", "a.b", "Š-app", "..."}) {
    EXPECT_TRUE(IsSafeFolderName(good)) << good;
  }
  for (const std::string bad : {"", ".", "..", "a/b", "a\\b", "C:", "a\tb"}) {
    EXPECT_FALSE(IsSafeFolderName(bad)) << bad;
  }
}

TEST(AppPaths, ApplicationFolderFollowsTheThinClientRule) {
  EXPECT_EQ(ApplicationFolder(false, "/home/u/.local/share", "APP1").string(),
            "/home/u/.local/share/Kestrov/APP1/");
  EXPECT_EQ(ApplicationFolder(false, "/home/u/.local/share/", "APP1").string(),
            "/home/u/.local/share/Kestrov/APP1/");
  std::string root = tv::platform::ThinClientRoot();
  if (root.back() != '/') root += '/';
  EXPECT_EQ(ApplicationFolder(true, "/home/u/.local/share", "APP1").string(),
            root + "Kestrov/APP1/");
  // The identifier is a cp1250 service value; the folder is named in UTF-8.
  EXPECT_EQ(ApplicationFolder(false, "/d",
                              "\x8e"
                              "A")
                .string(),
            "/d/Kestrov/\xc5\xbd"
            "A/");
}

TEST(AppPaths, ApplicationFolderRefusesUnusableInputs) {
  EXPECT_THROW(ApplicationFolder(false, "/d", ".."), EUnsafeName);
  EXPECT_THROW(ApplicationFolder(false, "/d", "a/b"), EUnsafeName);
  EXPECT_THROW(ApplicationFolder(false, "/d", ""), EUnsafeName);
  // Without a home folder the application would land below the file-system root.
  EXPECT_THROW(ApplicationFolder(false, "", "APP1"), ELaunchError);
  EXPECT_NO_THROW(ApplicationFolder(true, "", "APP1"));
}
