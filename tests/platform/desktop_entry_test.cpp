#include <gtest/gtest.h>

#include "DesktopEntry.h"
#include "TestSupport.h"

using namespace tv::platform;
namespace fs = std::filesystem;

TEST(DesktopExec, QuotingFollowsTheRules) {
  // What the file holds, after quoting and then the string escapes on top.
  const struct {
    std::vector<std::string> argv;
    std::string exec;
  } cases[] = {
      {{"/opt/tv/TvUpdater", "APP01"}, "/opt/tv/TvUpdater APP01"},
      {{"/opt/Tolvara Updater/TvUpdater", "x"}, "\"/opt/Tolvara Updater/TvUpdater\" x"},
      {{"/p", "100%"}, "/p 100%%"},
      {{"/p", "a b%"}, "/p \"a b%%\""},
      {{"/p", "a\\b"}, "/p \"a\\\\\\\\b\""},  // four backslashes for one
      {{"/p", "$HOME"}, "/p \"\\\\$HOME\""},
      {{"/p", "say \"hi\""}, "/p \"say \\\\\"hi\\\\\"\""},
      {{"/p", "`x`"}, "/p \"\\\\`x\\\\`\""},
      {{"/p", ""}, "/p \"\""},
      {{"/p", "line\nbreak"}, "/p \"line\\nbreak\""},
      {{"/p", "key=value", "čž"}, "/p key=value čž"},
      {{"/p", "~", "#", "a;b", "(x)", "'q'"}, "/p \"~\" \"#\" \"a;b\" \"(x)\" \"'q'\""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(QuoteExecLine(c.argv), c.exec) << c.exec;
    EXPECT_EQ(ParseExecLine(c.exec), c.argv) << c.exec;
  }
  EXPECT_EQ(QuoteExecLine({}), std::nullopt);
  EXPECT_EQ(QuoteExecLine({"/p", "bell\a"}), std::nullopt) << "no control characters";
}

TEST(DesktopExec, ParsingOthersLines) {
  const struct {
    std::string exec;
    std::optional<std::vector<std::string>> argv;
  } cases[] = {
      {"app %U", std::vector<std::string>{"app"}},
      {"app  --flag   %f", std::vector<std::string>{"app", "--flag"}},
      {"\"app\" \"%%\"", std::vector<std::string>{"app", "%"}},
      {"app \"unterminated", std::nullopt},
      {"app a;b", std::nullopt},
      {"app \"\\\\a\"", std::nullopt},  // "\a" is no escape inside quotes
      {"app %z", std::nullopt},
      {"app 50%", std::nullopt},
      {"app \"x\"y", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseExecLine(c.exec), c.argv) << c.exec;
}

TEST(DesktopString, Escapes) {
  const struct {
    std::string value, escaped;
  } cases[] = {
      {"Plate i kadrovi", "Plate i kadrovi"},
      {"  two leading", "\\s\\stwo leading"},
      {"back\\slash", "back\\\\slash"},
      {"a\tb\nc\rd", "a\\tb\\nc\\rd"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EscapeDesktopString(c.value), c.escaped);
    EXPECT_EQ(UnescapeDesktopString(c.escaped), c.value);
  }
  EXPECT_EQ(EscapeDesktopString("nul\x01"), std::nullopt);
}

class DesktopEntryTest : public ::testing::Test {
 protected:
  tvtest::TempDir desktop;
  DesktopEntry entry{"Knjigovodstvo – Kestrov",
                     {"/opt/Tolvara Updater/TvUpdater", "KNJIG01"},
                     "/opt/Tolvara Updater",
                     ""};
};

TEST_F(DesktopEntryTest, WritesAnExecutableEntry) {
  ASSERT_TRUE(WriteDesktopEntry(desktop.path(), "Knjigovodstvo – Kestrov", entry));
  const auto file = desktop / "Knjigovodstvo – Kestrov.desktop";
  EXPECT_EQ(tvtest::Mode(file), 0755u);
  const std::string text = tvtest::ReadFile(file);
  EXPECT_TRUE(text.starts_with("[Desktop Entry]\n")) << text;
  const auto keys = ReadDesktopEntryGroup(text);
  EXPECT_EQ(keys.at("Type"), "Application");
  EXPECT_EQ(keys.at("Version"), "1.0");
  EXPECT_EQ(keys.at("Name"), "Knjigovodstvo – Kestrov");
  EXPECT_EQ(keys.at("Path"), "/opt/Tolvara Updater");
  EXPECT_EQ(keys.at("Terminal"), "false");
  EXPECT_EQ(keys.count("Icon"), 0u);
  EXPECT_EQ(ParseExecLine(keys.at("Exec")), entry.exec);
  EXPECT_EQ(std::distance(fs::directory_iterator(desktop.path()), {}), 1) << "no temporary left";
}

TEST_F(DesktopEntryTest, ReplacesAnExistingEntryOrLink) {
  tvtest::WriteFile(desktop / "A.desktop", "old");
  tvtest::WriteFile(desktop / "target", "keep");
  fs::create_symlink(desktop / "target", desktop / "B.desktop");
  ASSERT_TRUE(WriteDesktopEntry(desktop.path(), "A", entry));
  ASSERT_TRUE(WriteDesktopEntry(desktop.path(), "B", entry));
  EXPECT_NE(tvtest::ReadFile(desktop / "A.desktop"), "old");
  EXPECT_FALSE(fs::is_symlink(desktop / "B.desktop"));
  EXPECT_EQ(tvtest::ReadFile(desktop / "target"), "keep");
}

TEST_F(DesktopEntryTest, RefusesWhatCannotBeWritten) {
  const std::string unsafe[] = {"", ".", "..", "a/b", "tab\tname", "new\nline"};
  for (const auto& name : unsafe) {
    EXPECT_FALSE(WriteDesktopEntry(desktop.path(), name, entry)) << name;
  }
  EXPECT_FALSE(WriteDesktopEntry(desktop / "missing", "A", entry));
  DesktopEntry bad = entry;
  bad.exec = {"/p", std::string("\x01")};
  EXPECT_FALSE(WriteDesktopEntry(desktop.path(), "A", bad));
  bad = entry;
  bad.name = "";
  EXPECT_FALSE(WriteDesktopEntry(desktop.path(), "A", bad));
  EXPECT_EQ(std::distance(fs::directory_iterator(desktop.path()), {}), 0);
}
