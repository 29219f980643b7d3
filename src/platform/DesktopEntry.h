// Desktop entries (the freedesktop desktop entry format, version 1.5): the Linux form of a desktop
// shortcut that starts a program with arguments in a given folder.
//
// Writing replaces an existing entry of the same name in one step and marks the new file
// executable and, where the desktop keeps such a mark (gio metadata), trusted. It reports by its
// result and never throws: false for a name that cannot be a file name, for text that a desktop
// entry cannot carry (control characters other than tab, newline and carriage return), and for a
// folder that cannot be written.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tv::platform {

struct DesktopEntry {
  std::string name;               // Name=, the text under the icon (UTF-8)
  std::vector<std::string> exec;  // the program's full path, then its arguments
  std::string path;               // Path=, the working directory
  std::string icon;               // Icon=, an icon name or file; no Icon line when empty
};

// Writes folder/<fileName>.desktop with mode 0755. fileName must be a safe file name: not empty,
// not "." or "..", no '/' and no control character.
bool WriteDesktopEntry(const std::filesystem::path& folder, const std::string& fileName,
                       const DesktopEntry& entry);

// The text of the entry's file; std::nullopt when some value cannot be written.
std::optional<std::string> DesktopEntryText(const DesktopEntry& entry);

// A string value with the desktop-entry string escapes (\s \n \t \r \\) applied.
std::optional<std::string> EscapeDesktopString(std::string_view value);
// The reverse; escapes it does not know are kept as they stand.
std::string UnescapeDesktopString(std::string_view value);

// The Exec value for a program and its arguments: each argument quoted when it holds a reserved
// character, '%' doubled, then the string escapes applied on top.
std::optional<std::string> QuoteExecLine(const std::vector<std::string>& argv);

// The program and arguments that an Exec value (as it stands in the file) starts. Standalone
// field codes (%f, %U, ...) expand to nothing, as for a start without files. std::nullopt for a
// value that breaks the quoting rules.
std::optional<std::vector<std::string>> ParseExecLine(std::string_view value);

// The keys of the [Desktop Entry] group and their values as they stand in the file.
std::map<std::string, std::string> ReadDesktopEntryGroup(std::string_view text);

}  // namespace tv::platform
