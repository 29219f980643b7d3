#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "InstallSteps.h"
#include "TempDir.h"

namespace fs = std::filesystem;

namespace {

TEST(InstallRoot, ThinClientAlwaysUsesTheMountedDrive) {
  EXPECT_EQ(InstallRootAsChosen(true, "/home/ana/Apps"), "/mnt/d");
  EXPECT_EQ(InstallRootAsChosen(true, ""), "/mnt/d");
  EXPECT_EQ(WithDelimiter(InstallRootAsChosen(true, "x")), "/mnt/d/");
}

TEST(InstallRoot, FolderBoxTextIsTrimmedAndGetsOneDelimiter) {
  struct Case {
    const char* box;
    const char* chosen;
    const char* dir;
  };
  const Case cases[] = {
      {"/srv/Apps", "/srv/Apps", "/srv/Apps/"},
      {"/srv/Apps/", "/srv/Apps/", "/srv/Apps/"},
      {"  /srv/Apps \t\r\n", "/srv/Apps", "/srv/Apps/"},
      {"\x01/srv/Moje aplikacije\x7f", "/srv/Moje aplikacije", "/srv/Moje aplikacije/"},
      {"/", "/", "/"},
      {" \t ", "", "/"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(InstallRootAsChosen(false, c.box), c.chosen) << c.box;
    EXPECT_EQ(WithDelimiter(InstallRootAsChosen(false, c.box)), c.dir) << c.box;
  }
}

class InstallFolders : public ::testing::Test {
 protected:
  void SetUp() override {
    previousDataHome_ = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
    hadDataHome_ = std::getenv("XDG_DATA_HOME") != nullptr;
    fs::create_directories(dir_.path() / "data");
    setenv("XDG_DATA_HOME", (dir_.path() / "data").c_str(), 1);
    root_ = dir_.path() / "root";
    fs::create_directory(root_);
  }
  void TearDown() override {
    if (hadDataHome_) {
      setenv("XDG_DATA_HOME", previousDataHome_.c_str(), 1);
    } else {
      unsetenv("XDG_DATA_HOME");
    }
  }
  std::string RootDir() const { return root_.string() + "/"; }

  TempDir dir_;
  fs::path root_;
  std::string previousDataHome_;
  bool hadDataHome_ = false;
};

TEST_F(InstallFolders, CreatesMakerAndEmptyApplicationFolder) {
  PrepareApplicationFolder(RootDir(), "APP1");
  EXPECT_TRUE(fs::is_directory(root_ / "Kestrov"));
  EXPECT_TRUE(fs::is_directory(root_ / "Kestrov" / "APP1"));
  EXPECT_TRUE(fs::is_empty(root_ / "Kestrov" / "APP1"));
}

TEST_F(InstallFolders, ExistingApplicationFolderGoesToTheTrashAndComesBackEmpty) {
  const fs::path app = root_ / "Kestrov" / "APP1";
  fs::create_directories(app / "locale");
  std::ofstream(app / "APP1.kvx") << "old manifest";
  std::ofstream(root_ / "Kestrov" / "keep.txt") << "sibling";

  PrepareApplicationFolder(RootDir(), "APP1");

  EXPECT_TRUE(fs::is_directory(app));
  EXPECT_TRUE(fs::is_empty(app));
  EXPECT_TRUE(fs::exists(root_ / "Kestrov" / "keep.txt")) << "the maker folder is not emptied";
  bool foundInTrash = false;
  for (const auto& entry : fs::recursive_directory_iterator(dir_.path() / "data")) {
    if (entry.path().filename() == "APP1.kvx") foundInTrash = true;
  }
  EXPECT_TRUE(foundInTrash) << "the old content is kept in the user's trash";
}

TEST_F(InstallFolders, MissingRootIsNotCreatedAndRaisesNothing) {
  const fs::path missing = dir_.path() / "no-such-root";
  EXPECT_NO_THROW(PrepareApplicationFolder(missing.string() + "/", "APP1"));
  EXPECT_FALSE(fs::exists(missing));
}

TEST_F(InstallFolders, SecondOfThreeFailingAtItsShortcutStopsTheRun) {
  std::vector<std::string> shortcuts;
  const auto maker = [&](const std::string& name, const std::string& uid) {
    shortcuts.push_back(name + "|" + uid);
    return name != "Bad";
  };
  const std::vector<TInstallItem> items = {{"U1", "First"}, {"U2", "Bad"}, {"U3", "Third"}};
  const TInstallOutcome outcome = InstallItems(items, root_.string(), maker);

  EXPECT_EQ(outcome.stop, TInstallOutcome::Stop::ShortcutFailed);
  EXPECT_EQ(outcome.installed, 1u);
  EXPECT_EQ(outcome.failedName, "Bad");
  EXPECT_EQ(shortcuts, (std::vector<std::string>{"First|U1", "Bad|U2"}));
  EXPECT_TRUE(fs::is_directory(root_ / "Kestrov" / "U1"));
  EXPECT_FALSE(fs::exists(root_ / "Kestrov" / "U2"));
  EXPECT_FALSE(fs::exists(root_ / "Kestrov" / "U3"));
}

TEST_F(InstallFolders, RefusesWhatCannotBeInstalledSafelyBeforeTouchingAnything) {
  struct Case {
    std::string root;
    std::string uid;
    TInstallOutcome::Stop stop;
  };
  const Case cases[] = {
      {root_.string(), "../escape", TInstallOutcome::Stop::UnsafeIdentifier},
      {root_.string(), "", TInstallOutcome::Stop::UnsafeIdentifier},
      {root_.string(), "..", TInstallOutcome::Stop::UnsafeIdentifier},
      {root_.string(), "a\nb", TInstallOutcome::Stop::UnsafeIdentifier},
      {"", "U1", TInstallOutcome::Stop::NoInstallRoot},
  };
  for (const auto& c : cases) {
    int calls = 0;
    const auto maker = [&](const std::string&, const std::string&) { return ++calls, true; };
    const TInstallOutcome outcome = InstallItems({{c.uid, "Name"}}, c.root, maker);
    EXPECT_EQ(outcome.stop, c.stop) << c.uid;
    EXPECT_EQ(outcome.installed, 0u);
    EXPECT_EQ(calls, 0) << "no shortcut for a refused application";
  }
  EXPECT_FALSE(fs::exists(root_ / "Kestrov"));
  EXPECT_FALSE(fs::exists(dir_.path() / "escape"));
}

TEST_F(InstallFolders, NothingTickedIsASuccessfulEmptyRun) {
  const auto maker = [](const std::string&, const std::string&) { return true; };
  const TInstallOutcome outcome = InstallItems({}, "", maker);
  EXPECT_EQ(outcome.stop, TInstallOutcome::Stop::None);
  EXPECT_EQ(outcome.installed, 0u);
}

}  // namespace
