// INI text with the rules of the Windows private-profile functions, and a file wrapper.
//
// Rules: section and key names are compared without regard to case (cp1250 letters included);
// blanks around names and values are dropped, and one pair of matching single or double quotes
// around a value is removed; the first of duplicate sections and of duplicate keys wins; lines
// whose first non-blank character is ';' and lines that are neither a section header nor contain
// '=' are ignored; keys before the first section header belong to no section. CRLF and LF both
// end a line. Text is single-byte and passes through untouched.
//
// Writing changes only the line of the key: an existing key gets the new value after its '=',
// a missing key is added after the last key line of its section, a missing section is appended
// at the end of the text; every other byte stays, and added lines use the text's own line ending.
//
// The core is pure functions on a byte string (it can be fuzzed); TextIniFile reads the file at
// every call, like the profile functions do, and rewrites it without ever leaving it half written.
// IniFile is TextIniFile on Linux and the profile functions themselves (ProfileIniFile) on Windows.
// Both throw PlatformError: "Unable to write to <full path>" for a failed write, and
// "Unable to read <full path>: <reason>" for a file that exists but cannot be read.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tv::platform {

namespace ini {

struct Line {
  enum class Kind { Other, Section, Key };
  Kind kind = Kind::Other;
  std::size_t begin = 0;   // first byte of the line
  std::size_t end = 0;     // one past the line's last byte, before its line ending
  std::size_t next = 0;    // first byte of the following line
  std::size_t equals = 0;  // Key: position of the '='
  std::string name;        // Section or Key: the name without surrounding blanks
  std::string value;       // Key: the value without blanks and one pair of quotes
};

// One Line per line of the text, in order.
std::vector<Line> Parse(std::string_view text);

// Names of the sections in file order; a name repeated later is listed once, with its first
// spelling. Sections with an empty name ("[]") are not listed.
std::vector<std::string> SectionNames(std::string_view text);

// The value of key in the first section called section, or std::nullopt when there is none.
std::optional<std::string> GetValue(std::string_view text, std::string_view section,
                                    std::string_view key);

// The text with key = value written into section. Values with surrounding blanks or quotes are
// written quoted so that they read back unchanged. Throws std::invalid_argument for a name or
// value that cannot be written so that it reads back (empty names, line breaks, NUL bytes, '='
// in a key, ']' in a section name, a key starting with ';' or '[').
std::string SetValue(std::string_view text, std::string_view section, std::string_view key,
                     std::string_view value);

// Throws std::invalid_argument for what SetValue refuses to write.
void CheckWritable(std::string_view section, std::string_view key, std::string_view value);

// How a value is spelt in the file so that reading gives it back exactly: quoted when it has
// blanks or quotes around it, else as it is.
std::string Spelling(std::string_view value);

// Names compared the way the profile functions compare them.
bool SameName(std::string_view a, std::string_view b);

}  // namespace ini

// The INI file read and written as text by the rules above (the Linux implementation; it builds
// everywhere, so the same cases can be checked against the Windows profile functions).
class TextIniFile {
 public:
  // path is made absolute; it is the path that error messages name.
  explicit TextIniFile(std::filesystem::path path);

  const std::filesystem::path& FileName() const { return path_; }

  // A missing file reads as an empty one.
  std::vector<std::string> ReadSections() const;
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const;
  bool HasKey(std::string_view section, std::string_view key) const;

  // Creates the file when it is missing. The mode, owner and every unrelated byte of an existing
  // file are kept; a symbolic link is written through to its target.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);

 private:
  std::string ReadText() const;

  std::filesystem::path path_;
};

#ifdef _WIN32
// The INI file through the Windows private-profile functions (GetPrivateProfileSectionNamesA,
// GetPrivateProfileStringA, WritePrivateProfileStringA): the system's own rules, the values as
// bytes of the ANSI code page. The same interface and failures as TextIniFile; a name or value
// that cannot be written so that it reads back is refused with "Unable to write to <path>: ...".
class ProfileIniFile {
 public:
  explicit ProfileIniFile(std::filesystem::path path);

  const std::filesystem::path& FileName() const { return path_; }

  std::vector<std::string> ReadSections() const;
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const;
  bool HasKey(std::string_view section, std::string_view key) const;
  void WriteString(std::string_view section, std::string_view key, std::string_view value);

 private:
  void CheckReadable() const;

  std::filesystem::path path_;
  std::string ansiPath_;  // the path as the A functions take it
};

using IniFile = ProfileIniFile;
#else
using IniFile = TextIniFile;
#endif

}  // namespace tv::platform
