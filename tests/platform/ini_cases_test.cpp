// One table of INI cases that every implementation must pass: our text implementation on every
// system and, on Windows, the system's private-profile functions. Each case is written by one
// implementation and read back by all of them, so a file that one writes reads the same through
// the other: the program and the workstation's own tools share TvUpdater.config.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Ini.h"
#include "PlatformError.h"
#include "ScratchFolder.h"

#ifdef _WIN32
#include <windows.h>
#endif

using namespace tv::platform;

namespace {

struct Read {
  const char* section;
  const char* key;
  std::optional<std::string> expected;  // none: the key is not there
};

struct Write {
  const char* section;
  const char* key;
  std::string value;
};

struct IniCase {
  const char* what;
  // Set where wine's profile functions are known to differ from Windows' (the reason); the
  // profile functions are then not held to the case under wine.
  const char* wineDiffers;
  std::optional<std::string> before;  // none: no file
  std::optional<Write> write;
  std::vector<std::string> sections;  // after the write, in file order
  std::vector<Read> reads;            // after the write
};

const std::vector<IniCase>& Cases() {
  static const std::vector<IniCase> cases = {
      // Reading.
      {"plain", nullptr, "[S]\r\nk=v\r\n", {}, {"S"}, {{"S", "k", "v"}}},
      {"names without regard to case",
       nullptr,
       "[Main]\r\nServiceURL=x\r\n",
       {},
       {"Main"},
       {{"mAIN", "serviceurl", "x"}, {"MAIN", "SERVICEURL", "x"}}},
      // Letters whose case pairs sit at the same bytes in cp1250 and cp1252.
      {"cp1250 letters fold too",
       "wine folds the case of ASCII letters only",
       "[\xC8vor]\r\n\x8E"
       "elja=1\r\n",
       {},
       {"\xC8vor"},
       {{"\xE8VOR",
         "\x9E"
         "ELJA",
         "1"}}},
      {"blanks around key and value",
       nullptr,
       "[S]\r\n k \t=  a b  \r\n",
       {},
       {"S"},
       {{"S", "k", "a b"}}},
      {"double quotes are removed", nullptr, "[S]\r\nk=\"v\"\r\n", {}, {"S"}, {{"S", "k", "v"}}},
      {"single quotes are removed", nullptr, "[S]\r\nk='v'\r\n", {}, {"S"}, {{"S", "k", "v"}}},
      {"empty value is a value", nullptr, "[S]\r\nk=\r\n", {}, {"S"}, {{"S", "k", ""}}},
      {"value keeps later equals signs",
       nullptr,
       "[S]\r\nk=a=b\r\n",
       {},
       {"S"},
       {{"S", "k", "a=b"}}},
      {"semicolon inside a value is data",
       nullptr,
       "[S]\r\nk=v ; note\r\n",
       {},
       {"S"},
       {{"S", "k", "v ; note"}}},
      {"first of duplicate keys", nullptr, "[S]\r\nk=1\r\nK=2\r\n", {}, {"S"}, {{"S", "k", "1"}}},
      {"keys of another section",
       nullptr,
       "[A]\r\nx=1\r\n[B]\r\nk=2\r\n",
       {},
       {"A", "B"},
       {{"A", "k", std::nullopt}, {"B", "k", "2"}, {"B", "x", std::nullopt}}},
      {"comment line",
       nullptr,
       "[S]\r\n;k=v\r\nj=1\r\n",
       {},
       {"S"},
       {{"S", "k", std::nullopt}, {"S", "j", "1"}}},
      {"LF line ends", nullptr, "[S]\nk=v\nj=w\n", {}, {"S"}, {{"S", "k", "v"}, {"S", "j", "w"}}},
      {"no final line end", nullptr, "[S]\r\nk=v", {}, {"S"}, {{"S", "k", "v"}}},
      {"sections in file order",
       nullptr,
       "[Zeta]\r\n[alpha]\r\nk=1\r\n[Mid]\r\n",
       {},
       {"Zeta", "alpha", "Mid"},
       {{"alpha", "k", "1"}}},
      {"missing section", nullptr, "[S]\r\nk=v\r\n", {}, {"S"}, {{"T", "k", std::nullopt}}},
      {"empty file", nullptr, "", {}, {}, {{"S", "k", std::nullopt}}},
      {"no file", nullptr, std::nullopt, {}, {}, {{"S", "k", std::nullopt}}},
      {"the configuration file",
       nullptr,
       "[Tolvara Updater]\r\nServiceURL=http://srv:8091/bin\r\n",
       {},
       {"Tolvara Updater"},
       {{"Tolvara Updater", "ServiceURL", "http://srv:8091/bin"},
        {"Tolvara Updater", "ThinClient", std::nullopt}}},

      // Writing.
      {"existing key gets the new value",
       nullptr,
       "[S]\r\nk=old\r\nz=1\r\n",
       Write{"S", "k", "new"},
       {"S"},
       {{"S", "k", "new"}, {"S", "z", "1"}}},
      {"a key is matched without regard to case",
       nullptr,
       "[S]\r\nKey=1\r\n",
       Write{"s", "KEY", "2"},
       {"S"},
       {{"S", "key", "2"}}},
      {"missing key goes into its own section",
       nullptr,
       "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n",
       Write{"A", "k", "v"},
       {"A", "B"},
       {{"A", "k", "v"}, {"A", "x", "1"}, {"B", "k", std::nullopt}, {"B", "y", "2"}}},
      {"missing section is added after the others",
       nullptr,
       "[A]\r\nx=1\r\n",
       Write{"B", "k", "v"},
       {"A", "B"},
       {{"B", "k", "v"}, {"A", "x", "1"}}},
      {"a write creates the file",
       nullptr,
       std::nullopt,
       Write{"S", "k", "v"},
       {"S"},
       {{"S", "k", "v"}}},
      {"an empty value", nullptr, "[S]\r\nk=v\r\n", Write{"S", "k", ""}, {"S"}, {{"S", "k", ""}}},
      {"blanks around a value survive",
       nullptr,
       "[S]\r\n",
       Write{"S", "k", "  a b "},
       {"S"},
       {{"S", "k", "  a b "}}},
      {"quotes around a value survive",
       nullptr,
       "[S]\r\n",
       Write{"S", "k", "\"q\""},
       {"S"},
       {{"S", "k", "\"q\""}}},
      {"single-byte text passes through",
       nullptr,
       "[S]\r\n",
       Write{"S", "App_Path",
             "D:\\Kestrov\\\xC8"
             "a\x9A"
             "ak"},
       {"S"},
       {{"S", "App_Path",
         "D:\\Kestrov\\\xC8"
         "a\x9A"
         "ak"}}},
      {"comments and other keys stay",
       nullptr,
       "[S]\r\n; note\r\nk=1\r\nj=2\r\n",
       Write{"S", "k", "9"},
       {"S"},
       {{"S", "k", "9"}, {"S", "j", "2"}, {"S", "; note", std::nullopt}}},
      {"App_Path added to the first section",
       nullptr,
       "[Tolvara Updater]\r\nServiceURL=http://srv:8091/bin\r\nThinClient=NO\r\n[Other]\r\nq=1\r\n",
       Write{"Tolvara Updater", "App_Path", "C:\\Users\\u\\AppData\\Roaming"},
       {"Tolvara Updater", "Other"},
       {{"Tolvara Updater", "App_Path", "C:\\Users\\u\\AppData\\Roaming"},
        {"Tolvara Updater", "ServiceURL", "http://srv:8091/bin"},
        {"Tolvara Updater", "ThinClient", "NO"},
        {"Other", "App_Path", std::nullopt}}},
  };
  return cases;
}

// The implementations under test, each behind the same few calls.
struct Implementation {
  const char* name;
  bool profile;  // the system's profile functions
  std::function<std::vector<std::string>(const std::filesystem::path&)> sections;
  std::function<std::optional<std::string>(const std::filesystem::path&, const char*, const char*)>
      read;
  std::function<void(const std::filesystem::path&, const Write&)> write;
};

template <typename Ini>
Implementation Make(const char* name, bool profile) {
  return {name, profile, [](const std::filesystem::path& p) { return Ini(p).ReadSections(); },
          [](const std::filesystem::path& p, const char* section,
             const char* key) -> std::optional<std::string> {
            const Ini ini(p);
            if (!ini.HasKey(section, key)) return std::nullopt;
            return ini.ReadString(section, key, "<default>");
          },
          [](const std::filesystem::path& p, const Write& w) {
            Ini(p).WriteString(w.section, w.key, w.value);
          }};
}

std::vector<Implementation> Implementations() {
  std::vector<Implementation> all = {Make<TextIniFile>("text", false)};
#ifdef _WIN32
  all.push_back(Make<ProfileIniFile>("profile functions", true));
#endif
  return all;
}

bool UnderWine() {
#ifdef _WIN32
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

std::string Shown(const std::optional<std::string>& value) {
  return value ? "\"" + *value + "\"" : std::string("(absent)");
}

}  // namespace

TEST(IniCases, EveryImplementationWritesWhatEveryImplementationReads) {
  const auto implementations = Implementations();
  for (const IniCase& c : Cases()) {
    for (const Implementation& writer : implementations) {
      // Cases without a write are read from the same untouched file by each implementation.
      if (!c.write && &writer != &implementations.front()) continue;
      const tvtest::ScratchFolder folder;
      const auto path = folder.path() / "TvUpdater.config";
      if (c.before) {
        std::ofstream(path, std::ios::binary) << *c.before;
      }
      const auto excused = [&](const Implementation& ini) {
        return c.wineDiffers != nullptr && ini.profile && UnderWine();
      };
      if (excused(writer)) continue;
      if (c.write) writer.write(path, *c.write);
      for (const Implementation& reader : implementations) {
        if (excused(reader)) {
          std::cout << "[ NOTE     ] " << c.what << ": not asked of " << reader.name
                    << " under wine (" << c.wineDiffers << ")\n";
          continue;
        }
        const std::string where =
            std::string(c.what) + " (written by " + writer.name + ", read by " + reader.name + ")";
        EXPECT_EQ(reader.sections(path), c.sections) << where;
        for (const Read& r : c.reads) {
          const auto got = reader.read(path, r.section, r.key);
          EXPECT_EQ(got, r.expected) << where << ": [" << r.section << "] " << r.key << " is "
                                     << Shown(got) << ", expected " << Shown(r.expected);
        }
      }
    }
  }
}

TEST(IniCases, NamesAndValuesThatCannotBeReadBackAreRefused) {
  for (const Implementation& ini : Implementations()) {
    const tvtest::ScratchFolder folder;
    const auto path = folder.path() / "TvUpdater.config";
    std::ofstream(path, std::ios::binary) << "[S]\r\nk=v\r\n";
    const Write refused[] = {
        {"S", "k", "two\r\nlines"}, {"S", "", "v"},   {"", "k", "v"},
        {"S", "a=b", "v"},          {"S]", "k", "v"},
    };
    for (const Write& w : refused) {
      EXPECT_THROW(ini.write(path, w), PlatformError) << ini.name << ": " << w.key;
    }
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "[S]\r\nk=v\r\n") << ini.name;
  }
}
