#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "DesktopEntry.h"
#include "DesktopShortcut.h"
#include "TempDir.h"

namespace fs = std::filesystem;

namespace {

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class DesktopShortcut : public ::testing::Test {
 protected:
  fs::path Desktop() const { return dir_.path() / "Radna površina"; }
  TShortcutTarget Target() const {
    // An updater folder with a blank, a '$' and a Serbian letter in its name.
    const fs::path folder = dir_.path() / "Moji alati $HOME š";
    return {folder / "TvUpdater", folder / "TvUpdater.png"};
  }
  std::vector<fs::path> DesktopFiles() const {
    std::vector<fs::path> files;
    if (!fs::exists(Desktop())) return files;
    for (const auto& entry : fs::directory_iterator(Desktop())) files.push_back(entry.path());
    return files;
  }

  TempDir dir_;
};

TEST_F(DesktopShortcut, EntryStartsTheUpdaterWithTheIdentifierForAwkwardNames) {
  struct Case {
    std::string name;
    std::string uid;
  };
  const Case cases[] = {
      {"Knjigovodstvo", "0C6B6E4A-7D1F-4C55-9A38-0E5A1D2B3C4D"},
      {"Moja aplikacija", "APP 1"},
      {"\xc5\xa0ifarnik \xc4\x8d\xc4\x87\xc5\xbe\xc4\x91 \xc5\xbd",
       "UID-\xc5\xa1"},  // Šifarnik čćžđ Ž
      {"Plate \"2024\"", "say \"hi\""},
      {"Cena $5 `x`", "$HOME"},
      {"Popust 50%", "100%u"},
      {"Back\\slash", "a\\b"},
      {"Tabela'navodnik'", "it's"},
  };
  const TShortcutTarget target = Target();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(WriteDesktopShortcut(Desktop(), c.name, c.uid, target));
    const fs::path file = Desktop() / (c.name + ".desktop");
    ASSERT_TRUE(fs::is_regular_file(file));

    struct stat info {};
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0755u);

    const auto group = tv::platform::ReadDesktopEntryGroup(ReadText(file));
    EXPECT_EQ(group.at("Type"), "Application");
    EXPECT_EQ(tv::platform::UnescapeDesktopString(group.at("Name")), c.name);
    EXPECT_EQ(tv::platform::UnescapeDesktopString(group.at("Path")),
              target.updaterPath.parent_path().string());
    EXPECT_EQ(tv::platform::UnescapeDesktopString(group.at("Icon")), target.iconPath.string());
    const auto argv = tv::platform::ParseExecLine(group.at("Exec"));
    ASSERT_TRUE(argv.has_value()) << group.at("Exec");
    EXPECT_EQ(*argv, (std::vector<std::string>{target.updaterPath.string(), c.uid}));
  }
  EXPECT_EQ(DesktopFiles().size(), std::size(cases));
}

TEST_F(DesktopShortcut, ExistingEntryOfTheSameNameIsReplaced) {
  ASSERT_TRUE(WriteDesktopShortcut(Desktop(), "Plate", "OLD", Target()));
  ASSERT_TRUE(WriteDesktopShortcut(Desktop(), "Plate", "NEW", Target()));
  ASSERT_EQ(DesktopFiles().size(), 1u);
  const auto group = tv::platform::ReadDesktopEntryGroup(ReadText(Desktop() / "Plate.desktop"));
  const auto argv = tv::platform::ParseExecLine(group.at("Exec"));
  ASSERT_TRUE(argv.has_value());
  EXPECT_EQ(argv->back(), "NEW");
}

TEST_F(DesktopShortcut, NameThatIsNoSafeFileNameWritesNothingAnywhere) {
  for (const std::string name :
       {"", ".", "..", "a/b", "../Izvan", "/etc/x", "red\nnovi", "tab\t"}) {
    EXPECT_FALSE(WriteDesktopShortcut(Desktop(), name, "UID", Target())) << name;
  }
  EXPECT_FALSE(fs::exists(Desktop())) << "not even the desktop folder is made for a bad name";
  EXPECT_FALSE(fs::exists(dir_.path() / "Izvan.desktop"));
  EXPECT_FALSE(fs::exists(dir_.path() / "a"));
}

TEST_F(DesktopShortcut, MissingDesktopFolderIsCreatedAndAnUnwritableOneFails) {
  ASSERT_TRUE(WriteDesktopShortcut(Desktop(), "Prva", "U1", Target()));
  EXPECT_TRUE(fs::is_regular_file(Desktop() / "Prva.desktop"));

  // A file where the desktop folder should be: nothing can be saved there.
  const fs::path blocked = dir_.path() / "blocked";
  std::ofstream(blocked) << "not a folder";
  EXPECT_FALSE(WriteDesktopShortcut(blocked, "Druga", "U2", Target()));
}

}  // namespace
