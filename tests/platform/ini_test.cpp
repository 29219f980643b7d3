#include <gtest/gtest.h>

#include <random>
#include <set>

#include "Ini.h"
#include "PlatformError.h"
#include "TestSupport.h"

using namespace tv::platform;

namespace {

struct ReadCase {
  const char* what;
  std::string text;
  const char* section;
  const char* key;
  std::optional<std::string> expected;
};

}  // namespace

TEST(IniRules, Reading) {
  const ReadCase cases[] = {
      {"plain", "[S]\nk=v\n", "S", "k", "v"},
      {"section and key case", "[Main]\nServiceURL=x\n", "mAIN", "serviceurl", "x"},
      {"cp1250 letters fold too",
       "[\xC8vor]\n\x8E"
       "elja=1\n",
       "\xE8VOR",
       "\x9E"
       "ELJA",
       "1"},
      {"blanks around names and value", "  [ S ]  \n\t k \t=  a b  \n", "S", "k", "a b"},
      {"double quotes", "[S]\nk=\" spaced \"\n", "S", "k", " spaced "},
      {"single quotes", "[S]\nk='v'\n", "S", "k", "v"},
      {"unmatched quotes stay", "[S]\nk=\"v'\n", "S", "k", "\"v'"},
      {"one pair only", "[S]\nk=\"\"v\"\"\n", "S", "k", "\"v\""},
      {"lone quote", "[S]\nk=\"\n", "S", "k", "\""},
      {"empty value", "[S]\nk=\n", "S", "k", ""},
      {"value keeps later equals signs", "[S]\nk=a=b\n", "S", "k", "a=b"},
      {"inline semicolon is data", "[S]\nk=v ; note\n", "S", "k", "v ; note"},
      {"first duplicate key wins", "[S]\nk=1\nK=2\n", "S", "k", "1"},
      {"first duplicate section wins", "[S]\na=1\n[s]\nk=2\n", "S", "k", std::nullopt},
      {"key in another section", "[A]\nx=1\n[B]\nk=2\n", "A", "k", std::nullopt},
      {"comment line", "[S]\n;k=v\n", "S", "k", std::nullopt},
      {"indented comment", "[S]\n   ;k=v\n", "S", "k", std::nullopt},
      {"line without equals", "[S]\nk\n", "S", "k", std::nullopt},
      {"key before any section", "k=v\n[S]\n", "S", "k", std::nullopt},
      {"header without bracket is no header", "[S]\n[T\nk=v\n", "S", "k", "v"},
      {"CRLF", "[S]\r\nk=v\r\n", "S", "k", "v"},
      {"no final line end", "[S]\nk=v", "S", "k", "v"},
      {"bytes pass through", std::string("[S]\nk=\xC4\x8D\xE8\x00z\n", 12), "S", "k",
       std::string("\xC4\x8D\xE8\x00z", 5)},
      {"missing section", "[S]\nk=v\n", "T", "k", std::nullopt},
      {"empty text", "", "S", "k", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ini::GetValue(c.text, c.section, c.key), c.expected) << c.what;
  }
}

TEST(IniRules, SectionNamesInFileOrder) {
  const struct {
    std::string text;
    std::vector<std::string> names;
  } cases[] = {
      {"", {}},
      {"k=v\n; [x]\n", {}},
      {"[Zeta]\n[alpha]\n", {"Zeta", "alpha"}},
      {"[A]\n[B]\n[a]\n", {"A", "B"}},
      {"[]\n[B]\n", {"B"}},
      {" [ Spaced Name ] trailing\r\n", {"Spaced Name"}},
  };
  for (const auto& c : cases) EXPECT_EQ(ini::SectionNames(c.text), c.names) << c.text;
}

TEST(IniRules, WritingChangesOnlyTheKeysLine) {
  const struct {
    const char* what;
    std::string text, section, key, value, expected;
  } cases[] = {
      {"replace keeps key spelling and the rest", "; top\n[S]\nKey = old\nz=1\n", "s", "key", "new",
       "; top\n[S]\nKey =new\nz=1\n"},
      {"add after the last key, before trailing comment", "[S]\na=1\n\n; end\n[T]\n", "S", "k", "v",
       "[S]\na=1\nk=v\n\n; end\n[T]\n"},
      {"add to a section without keys", "[S]\n[T]\nx=1\n", "S", "k", "v", "[S]\nk=v\n[T]\nx=1\n"},
      {"add to the first of duplicate sections", "[S]\na=1\n[S]\nb=2\n", "S", "k", "v",
       "[S]\na=1\nk=v\n[S]\nb=2\n"},
      {"CRLF is kept", "[S]\r\na=1\r\n", "S", "k", "v", "[S]\r\na=1\r\nk=v\r\n"},
      {"unterminated last line", "[S]\na=1", "S", "k", "v", "[S]\na=1\nk=v\n"},
      {"new section at the end", "[S]\na=1", "T", "k", "v", "[S]\na=1\n[T]\nk=v\n"},
      {"new section in an empty text", "", "T", "k", "v", "[T]\nk=v\n"},
      {"value with blanks is quoted", "[S]\n", "S", "k", " x ", "[S]\nk=\" x \"\n"},
      {"quoted value is quoted again", "[S]\n", "S", "k", "'x'", "[S]\nk=\"'x'\"\n"},
      {"empty value", "[S]\nk=old\n", "S", "k", "", "[S]\nk=\n"},
      {"cp1250 bytes", "[S]\n", "S", "App_Path",
       "C:\\Korisnici\\\x8A"
       "a\x9E"
       "a",
       "[S]\nApp_Path=C:\\Korisnici\\\x8A"
       "a\x9E"
       "a\n"},
  };
  for (const auto& c : cases) {
    const std::string out = ini::SetValue(c.text, c.section, c.key, c.value);
    EXPECT_EQ(out, c.expected) << c.what;
    EXPECT_EQ(ini::GetValue(out, c.section, c.key), c.value) << c.what;
  }
}

TEST(IniRules, RefusesWhatWouldNotReadBack) {
  const struct {
    const char* what;
    std::string section, key, value;
  } cases[] = {
      {"line break in value (would add keys)", "S", "k", "a\n[Evil]\nx=1"},
      {"carriage return", "S", "k", "a\rb"},
      {"NUL", "S", "k", std::string("a\0b", 3)},
      {"equals in key", "S", "k=x", "v"},
      {"comment key", "S", ";k", "v"},
      {"bracket key", "S", "[k", "v"},
      {"empty key", "S", " ", "v"},
      {"empty section", "", "k", "v"},
      {"bracket in section", "a]b", "k", "v"},
  };
  for (const auto& c : cases) {
    EXPECT_THROW(ini::SetValue("[S]\n", c.section, c.key, c.value), std::invalid_argument)
        << c.what;
  }
}

// Random texts built from the fragments that matter: a write must read back, leave every other
// key as it was, and touch no other line.
TEST(IniRules, RandomTextsKeepEverythingElse) {
  const std::vector<std::string> fragments = {
      "[S]",  "[s]", "[T]",   " [ T ] ", "[", "]",  "k=1",  "K = 2", "x='q'", "y=\"",
      ";c=3", "=z",  "plain", "",        " ", "\t", "\xC8", "k",     "x=",
  };
  const std::vector<std::string> names = {"S", "T", "U"};
  const std::vector<std::string> keys = {"k", "x", "y", "new"};
  std::mt19937 rng(12345);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const int lines = rng() % 8;
    const std::string eol = rng() % 3 == 0 ? "\r\n" : "\n";
    for (int i = 0; i < lines; ++i) {
      text += fragments[rng() % fragments.size()];
      if (i + 1 < lines || rng() % 2) text += eol;
    }
    const std::string section = names[rng() % names.size()];
    const std::string key = keys[rng() % keys.size()];
    const std::string value = std::to_string(rng() % 1000);
    const std::string out = ini::SetValue(text, section, key, value);
    ASSERT_EQ(ini::GetValue(out, section, key), value) << text;
    for (const auto& s : names) {
      for (const auto& k : keys) {
        if (ini::SameName(s, section) && ini::SameName(k, key)) continue;
        ASSERT_EQ(ini::GetValue(out, s, k), ini::GetValue(text, s, k)) << text;
      }
    }
    // Outside one changed stretch, the old bytes are all still there, in place.
    std::size_t prefix = 0;
    while (prefix < text.size() && prefix < out.size() && text[prefix] == out[prefix]) ++prefix;
    std::size_t suffix = 0;
    while (suffix < text.size() - prefix && suffix < out.size() - prefix &&
           text[text.size() - 1 - suffix] == out[out.size() - 1 - suffix]) {
      ++suffix;
    }
    const std::string removed = text.substr(prefix, text.size() - prefix - suffix);
    ASSERT_EQ(removed.find('\n'), std::string::npos) << "old lines were changed in:\n" << text;
  }
}

class IniFileTest : public ::testing::Test {
 protected:
  tvtest::TempDir dir;
};

TEST_F(IniFileTest, ReadsAndWritesTheFile) {
  const auto path = dir / "app.config";
  tvtest::WriteFile(path, "; settings\r\n[Glavna]\r\nServiceURL = 'http://x/bin'\r\n");
  IniFile ini(path);
  EXPECT_EQ(ini.ReadSections(), std::vector<std::string>{"Glavna"});
  EXPECT_EQ(ini.ReadString("glavna", "serviceurl", "d"), "http://x/bin");
  EXPECT_EQ(ini.ReadString("Glavna", "ThinClient", "NO"), "NO");
  EXPECT_FALSE(ini.HasKey("Glavna", "App_Path"));
  ini.WriteString("Glavna", "App_Path", "/home/u");
  EXPECT_EQ(tvtest::ReadFile(path),
            "; settings\r\n[Glavna]\r\nServiceURL = 'http://x/bin'\r\nApp_Path=/home/u\r\n");
  EXPECT_TRUE(ini.HasKey("GLAVNA", "app_path"));
}

TEST_F(IniFileTest, MissingFileReadsEmptyAndIsCreatedByAWrite) {
  const auto path = dir / "new.ini";
  IniFile ini(path);
  EXPECT_TRUE(ini.ReadSections().empty());
  EXPECT_EQ(ini.ReadString("S", "k", "dflt"), "dflt");
  ini.WriteString("S", "k", "v");
  EXPECT_EQ(tvtest::ReadFile(path), "[S]\nk=v\n");
}

TEST_F(IniFileTest, KeepsModeAndWritesThroughALink) {
  const auto real = dir / "real.ini";
  const auto link = dir / "link.ini";
  tvtest::WriteFile(real, "[S]\n");
  ::chmod(real.c_str(), 0640);
  std::filesystem::create_symlink(real, link);
  IniFile(link).WriteString("S", "k", "v");
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(tvtest::ReadFile(real), "[S]\nk=v\n");
  EXPECT_EQ(tvtest::Mode(real), 0640u);
  // No temporary file is left beside it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

TEST_F(IniFileTest, AFailedWriteNamesTheFileAndLeavesItAlone) {
  const auto missingFolder = dir / "no-such-folder" / "x.ini";
  try {
    IniFile(missingFolder).WriteString("S", "k", "v");
    FAIL() << "no error";
  } catch (const PlatformError& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + missingFolder.string());
  }
  EXPECT_THROW(IniFile(dir / "x.ini").WriteString("S", "k", "a\nb"), PlatformError);
  EXPECT_FALSE(std::filesystem::exists(dir / "x.ini"));
}

TEST_F(IniFileTest, PermissionsAreHonoured) {
  // Folder and files belong to the test's user; the checks run as somebody else when we are root.
  const auto locked = dir / "locked";
  std::filesystem::create_directory(locked);
  const auto readOnly = locked / "ro.ini";
  const auto writable = locked / "rw.ini";
  const auto secret = locked / "secret.ini";
  tvtest::WriteFile(readOnly, "[S]\na=1\n");
  tvtest::WriteFile(writable, "[S]\na=1\nlong=xxxxxxxxxxxxxxxxxxxxxxxxxxxx\n");
  tvtest::WriteFile(secret, "[S]\na=1\n");
  ::chmod(readOnly.c_str(), 0444);
  ::chmod(writable.c_str(), 0666);
  ::chmod(secret.c_str(), 0000);
  ::chmod(locked.c_str(), 0555);  // no file can be created beside them

  const std::string result = tvtest::RunUnprivileged([&] {
    std::string log;
    try {
      IniFile(readOnly).WriteString("S", "k", "v");
      log += "ro written;";
    } catch (const PlatformError& e) {
      log += std::string(e.what()) + ";";
    }
    // The folder refuses a file beside it: the file itself is rewritten in place.
    IniFile(writable).WriteString("S", "long", "y");
    log += tvtest::ReadFile(writable) + ";";
    try {
      IniFile(secret).ReadSections();
      log += "secret read;";
    } catch (const PlatformError& e) {
      log += std::string(e.what()) + ";";
    }
    return log;
  });
  ::chmod(locked.c_str(), 0755);
  EXPECT_EQ(result, "Unable to write to " + readOnly.string() +
                        ";[S]\na=1\nlong=y\n;Unable to read " + secret.string() +
                        ": Permission denied;");
  EXPECT_EQ(tvtest::ReadFile(readOnly), "[S]\na=1\n");
  EXPECT_EQ(tvtest::Mode(writable), 0666u);
}
