#include "Ini.h"

#include <cerrno>
#include <stdexcept>
#include <system_error>

#include "CodePage1250.h"
#include "FileUtil.h"
#include "PathText.h"
#include "PlatformError.h"

namespace tv::platform {
namespace ini {
namespace {

constexpr std::string_view kBlanks = " \t\r\v\f";

std::string_view Trim(std::string_view s) {
  const auto first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(kBlanks);
  return s.substr(first, last - first + 1);
}

std::string_view Unquote(std::string_view s) {
  if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front()) {
    return s.substr(1, s.size() - 2);
  }
  return s;
}

Line Classify(std::string_view text, std::size_t begin, std::size_t end, std::size_t next) {
  Line line;
  line.begin = begin;
  line.end = end;
  line.next = next;
  const std::string_view raw = text.substr(begin, end - begin);
  const std::string_view body = Trim(raw);
  if (body.empty() || body.front() == ';') return line;
  if (body.front() == '[') {
    // A header without its closing bracket is no header; the name runs to the last ']'.
    const auto close = body.rfind(']');
    if (close == std::string_view::npos) return line;
    line.kind = Line::Kind::Section;
    line.name = std::string(Trim(body.substr(1, close - 1)));
    return line;
  }
  const auto eq = raw.find('=');
  if (eq == std::string_view::npos) return line;
  const std::string_view name = Trim(raw.substr(0, eq));
  if (name.empty()) return line;
  line.kind = Line::Kind::Key;
  line.equals = begin + eq;
  line.name = std::string(name);
  line.value = std::string(Unquote(Trim(raw.substr(eq + 1))));
  return line;
}

std::string_view LineEnding(std::string_view text) {
  const auto lf = text.find('\n');
  if (lf != std::string_view::npos && lf > 0 && text[lf - 1] == '\r') return "\r\n";
  return "\n";
}

bool HasLineBreakOrNul(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// Index range [first, last) of the lines of the first section called section; first is the
// header. Returns false when there is no such section.
bool FindSection(const std::vector<Line>& lines, std::string_view section, std::size_t& first,
                 std::size_t& last) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].kind == Line::Kind::Section && SameName(lines[i].name, Trim(section))) {
      first = i;
      last = i + 1;
      while (last < lines.size() && lines[last].kind != Line::Kind::Section) ++last;
      return true;
    }
  }
  return false;
}

const Line* FindKey(const std::vector<Line>& lines, std::size_t first, std::size_t last,
                    std::string_view key) {
  for (std::size_t i = first + 1; i < last; ++i) {
    if (lines[i].kind == Line::Kind::Key && SameName(lines[i].name, Trim(key))) return &lines[i];
  }
  return nullptr;
}

}  // namespace

void CheckWritable(std::string_view section, std::string_view key, std::string_view value) {
  if (Trim(section).empty() || HasLineBreakOrNul(section) || section.find(']') != section.npos) {
    throw std::invalid_argument("The section name \"" + std::string(section) +
                                "\" cannot be written to an INI file");
  }
  if (Trim(key).empty() || HasLineBreakOrNul(key) || key.find('=') != key.npos ||
      Trim(key).front() == ';' || Trim(key).front() == '[') {
    throw std::invalid_argument("The key name \"" + std::string(key) +
                                "\" cannot be written to an INI file");
  }
  if (HasLineBreakOrNul(value)) {
    throw std::invalid_argument("The value of \"" + std::string(key) +
                                "\" contains a line break and cannot be written to an INI file");
  }
}

// How a value is spelt in the file so that reading gives it back exactly.
std::string Spelling(std::string_view value) {
  if (Trim(value) != value || Unquote(value) != value) return "\"" + std::string(value) + "\"";
  return std::string(value);
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Cp1250ToLower(static_cast<unsigned char>(a[i])) !=
        Cp1250ToLower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::vector<Line> Parse(std::string_view text) {
  std::vector<Line> lines;
  std::size_t begin = 0;
  while (begin < text.size()) {
    const auto lf = text.find('\n', begin);
    std::size_t end = lf == std::string_view::npos ? text.size() : lf;
    const std::size_t next = lf == std::string_view::npos ? text.size() : lf + 1;
    if (lf != std::string_view::npos && end > begin && text[end - 1] == '\r') --end;
    lines.push_back(Classify(text, begin, end, next));
    begin = next;
  }
  return lines;
}

std::vector<std::string> SectionNames(std::string_view text) {
  std::vector<std::string> names;
  for (const Line& line : Parse(text)) {
    if (line.kind != Line::Kind::Section || line.name.empty()) continue;
    bool seen = false;
    for (const auto& name : names) seen = seen || SameName(name, line.name);
    if (!seen) names.push_back(line.name);
  }
  return names;
}

std::optional<std::string> GetValue(std::string_view text, std::string_view section,
                                    std::string_view key) {
  const auto lines = Parse(text);
  std::size_t first = 0, last = 0;
  if (!FindSection(lines, section, first, last)) return std::nullopt;
  if (const Line* line = FindKey(lines, first, last, key)) return line->value;
  return std::nullopt;
}

std::string SetValue(std::string_view text, std::string_view section, std::string_view key,
                     std::string_view value) {
  CheckWritable(section, key, value);
  const std::string spelt = Spelling(value);
  const std::string_view eol = LineEnding(text);
  const auto lines = Parse(text);
  std::string out;
  out.reserve(text.size() + key.size() + spelt.size() + section.size() + 8);

  std::size_t first = 0, last = 0;
  if (!FindSection(lines, section, first, last)) {
    out.append(text);
    if (!out.empty() && out.back() != '\n') out.append(eol);
    out.append("[").append(Trim(section)).append("]").append(eol);
    out.append(Trim(key)).append("=").append(spelt).append(eol);
    return out;
  }
  if (const Line* line = FindKey(lines, first, last, key)) {
    out.append(text.substr(0, line->equals + 1));
    out.append(spelt);
    out.append(text.substr(line->end));
    return out;
  }
  // After the section's last key line, so that comments and blank lines that close the section
  // stay below the new key; after the header when the section has no key yet.
  std::size_t after = first;
  for (std::size_t i = first + 1; i < last; ++i) {
    if (lines[i].kind == Line::Kind::Key) after = i;
  }
  const Line& anchor = lines[after];
  out.append(text.substr(0, anchor.next));
  if (anchor.next == anchor.end) out.append(eol);  // the anchor was the last line, unterminated
  out.append(Trim(key)).append("=").append(spelt).append(eol);
  out.append(text.substr(anchor.next));
  return out;
}

}  // namespace ini

TextIniFile::TextIniFile(std::filesystem::path path) {
  std::error_code ec;
  auto absolute = std::filesystem::absolute(path, ec);
  path_ = ec ? std::move(path) : std::move(absolute);
}

std::string TextIniFile::ReadText() const {
  try {
    return ReadWholeFile(path_);
  } catch (const FileError& e) {
    if (e.NotFound()) return {};
    throw PlatformError("Unable to read " + PathToUtf8(path_) + ": " + SystemErrorText(e.error()));
  }
}

std::vector<std::string> TextIniFile::ReadSections() const {
  return ini::SectionNames(ReadText());
}

std::string TextIniFile::ReadString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue) const {
  return ini::GetValue(ReadText(), section, key).value_or(std::string(defaultValue));
}

bool TextIniFile::HasKey(std::string_view section, std::string_view key) const {
  return ini::GetValue(ReadText(), section, key).has_value();
}

void TextIniFile::WriteString(std::string_view section, std::string_view key,
                              std::string_view value) {
  const std::string failure = "Unable to write to " + PathToUtf8(path_);
  std::string text;
  try {
    text = ReadText();
  } catch (const PlatformError&) {
    throw PlatformError(failure);
  }
  std::string updated;
  try {
    updated = ini::SetValue(text, section, key, value);
  } catch (const std::invalid_argument& e) {
    throw PlatformError(failure + ": " + e.what());
  }
  try {
    ReplaceFileContents(path_, updated);
  } catch (const FileError&) {
    throw PlatformError(failure);
  }
}

}  // namespace tv::platform
