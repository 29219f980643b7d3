// The INI reader and the key writer over arbitrary file contents. The input is
// section NUL key NUL value NUL file-text (missing parts are empty). Writing the key either
// fails as documented, leaving the file as it was, or leaves a file in which the key reads back
// as the value written, every other section and key reads exactly as before, and the sections
// keep their order (a new one joins at the end).
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>

#include "FuzzTargets.h"
#include "FuzzTemp.h"
#include "Ini.h"
#include "PlatformError.h"

namespace tvfuzz {
namespace {

namespace ini = tv::platform::ini;

std::filesystem::path iniPath;

void SetUp() {
  static TempFolder folder("tv-fuzz-ini");
  iniPath = folder.path() / "TvUpdater.config";
}

std::string FileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Every (section, key) that the text names under a section header, in file order.
std::vector<std::pair<std::string, std::string>> NamedKeys(std::string_view text) {
  std::vector<std::pair<std::string, std::string>> keys;
  std::optional<std::string> section;
  for (const ini::Line& line : ini::Parse(text)) {
    if (line.kind == ini::Line::Kind::Section) section = line.name;
    if (line.kind == ini::Line::Kind::Key && section) keys.emplace_back(*section, line.name);
  }
  return keys;
}

std::string_view NextField(std::string_view& rest) {
  const auto nul = rest.find('\0');
  const std::string_view field = rest.substr(0, nul);
  rest = nul == std::string_view::npos ? std::string_view() : rest.substr(nul + 1);
  return field;
}

void Run(Bytes input) {
  std::string_view rest(reinterpret_cast<const char*>(input.data()), input.size());
  const std::string section(NextField(rest));
  const std::string key(NextField(rest));
  const std::string value(NextField(rest));
  const std::string before(rest);
  {
    std::ofstream out(iniPath, std::ios::binary | std::ios::trunc);
    out.write(before.data(), std::streamsize(before.size()));
  }

  tv::platform::IniFile file(iniPath);
  try {
    file.WriteString(section, key, value);
  } catch (const tv::platform::PlatformError&) {
    FUZZ_CHECK(FileText(iniPath) == before, "a refused write leaves the file as it was");
    return;
  }
  const std::string after = FileText(iniPath);
  // Names as the reader sees them: without their surrounding blanks.
  const std::string sectionName = ini::Parse("[" + section + "]").front().name;
  const std::string keyName = ini::Parse(key + "=").front().name;
  FUZZ_CHECK(after == ini::SetValue(before, section, key, value),
             "the file holds what the text writer makes of it");

  constexpr std::string_view absent = "\n(absent)";
  FUZZ_CHECK(file.ReadString(section, key, absent) == value, "the written key reads back");
  for (const auto& [s, k] : NamedKeys(before)) {
    if (ini::SameName(s, sectionName) && ini::SameName(k, keyName)) continue;
    FUZZ_CHECK(ini::GetValue(after, s, k) == ini::GetValue(before, s, k),
               "every other key reads as before");
  }
  std::vector<std::string> sections = ini::SectionNames(before);
  bool known = false;
  for (const auto& name : sections) known = known || ini::SameName(name, sectionName);
  std::vector<std::string> expected = sections;
  if (!known) expected.push_back(sectionName);
  FUZZ_CHECK(ini::SectionNames(after) == expected,
             "sections keep their order and a new one is appended");
}

}  // namespace

std::vector<Target> IniTargets() {
  return {{"ini_write_key", &SetUp, &Run}};
}

}  // namespace tvfuzz
