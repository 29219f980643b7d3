#include "DesktopEntry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <utility>

#include "FileUtil.h"
#include "Process.h"
#include "UniqueFd.h"

namespace tv::platform {
namespace {

constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";

bool IsControl(unsigned char c) {
  return c < 0x20 || c == 0x7F;
}

bool WriteAll(int fd, std::string_view text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

void MarkTrusted(const std::string& file) {
  // Desktops that keep this mark refuse to start an entry without it; elsewhere gio just fails.
  const std::string gio = FindProgram("gio");
  if (gio.empty()) return;
  RunAndWait({gio, "set", file, "metadata::trusted", "true"}, std::chrono::seconds(3));
}

}  // namespace

std::optional<std::string> EscapeDesktopString(std::string_view value) {
  std::string out;
  bool leading = true;
  for (char c : value) {
    const bool wasLeading = std::exchange(leading, leading && c == ' ');
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      case ' ':
        // Blanks right after '=' are dropped by readers; only leading ones need protecting.
        out += wasLeading ? "\\s" : " ";
        break;
      default:
        if (IsControl(static_cast<unsigned char>(c))) return std::nullopt;
        out += c;
    }
  }
  return out;
}

std::string UnescapeDesktopString(std::string_view value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      out += value[i];
      continue;
    }
    const char next = value[++i];
    switch (next) {
      case 's':
        out += ' ';
        break;
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      case 'r':
        out += '\r';
        break;
      case '\\':
        out += '\\';
        break;
      default:
        out += '\\';
        out += next;
    }
  }
  return out;
}

std::optional<std::string> QuoteExecLine(const std::vector<std::string>& argv) {
  if (argv.empty() || argv.front().empty()) return std::nullopt;
  std::string line;
  for (std::size_t i = 0; i < argv.size(); ++i) {
    const std::string& arg = argv[i];
    const bool quote = arg.empty() || arg.find_first_of(kReserved) != std::string::npos;
    std::string spelt;
    if (quote) spelt += '"';
    for (char c : arg) {
      if (c == '%') {
        spelt += "%%";
      } else if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) {
        spelt += '\\';
        spelt += c;
      } else {
        spelt += c;
      }
    }
    if (quote) spelt += '"';
    if (i > 0) line += ' ';
    line += spelt;
  }
  return EscapeDesktopString(line);
}

std::optional<std::vector<std::string>> ParseExecLine(std::string_view value) {
  const std::string text = UnescapeDesktopString(value);
  std::vector<std::string> args;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == ' ') {
      ++i;
      continue;
    }
    std::string arg;
    bool quoted = false;
    if (text[i] == '"') {
      quoted = true;
      ++i;
      bool closed = false;
      while (i < text.size()) {
        const char c = text[i++];
        if (c == '"') {
          closed = true;
          break;
        }
        if (c == '\\') {
          if (i == text.size()) return std::nullopt;
          const char next = text[i++];
          if (next != '"' && next != '`' && next != '$' && next != '\\') return std::nullopt;
          arg += next;
        } else {
          arg += c;
        }
      }
      if (!closed) return std::nullopt;
      // A quoted argument ends at the quote; something glued to it is malformed.
      if (i < text.size() && text[i] != ' ') return std::nullopt;
    } else {
      while (i < text.size() && text[i] != ' ') {
        const char c = text[i++];
        if (kReserved.find(c) != std::string_view::npos) return std::nullopt;
        arg += c;
      }
    }
    // Field codes: "%%" is a literal '%'; a lone code stands for files or URLs we do not pass.
    if (!quoted && arg.size() == 2 && arg[0] == '%' &&
        std::string_view("fFuUdDnNickvm").find(arg[1]) != std::string_view::npos) {
      continue;
    }
    std::string expanded;
    for (std::size_t k = 0; k < arg.size(); ++k) {
      if (arg[k] != '%') {
        expanded += arg[k];
      } else if (k + 1 < arg.size() && arg[k + 1] == '%') {
        expanded += '%';
        ++k;
      } else {
        return std::nullopt;
      }
    }
    args.push_back(std::move(expanded));
  }
  if (args.empty()) return std::nullopt;
  return args;
}

std::optional<std::string> DesktopEntryText(const DesktopEntry& entry) {
  const auto name = EscapeDesktopString(entry.name);
  const auto exec = QuoteExecLine(entry.exec);
  const auto path = EscapeDesktopString(entry.path);
  const auto icon = EscapeDesktopString(entry.icon);
  if (!name || name->empty() || !exec || !path || !icon) return std::nullopt;
  std::string text = "[Desktop Entry]\nType=Application\nVersion=1.0\n";
  text += "Name=" + *name + "\n";
  text += "Exec=" + *exec + "\n";
  if (!path->empty()) text += "Path=" + *path + "\n";
  if (!icon->empty()) text += "Icon=" + *icon + "\n";
  text += "Terminal=false\n";
  return text;
}

bool WriteDesktopEntry(const std::filesystem::path& folder, const std::string& fileName,
                       const DesktopEntry& entry) {
  if (!IsSafeFileName(fileName)) return false;
  const auto text = DesktopEntryText(entry);
  if (!text) return false;
  const std::string target = (folder / (fileName + ".desktop")).string();
  std::string temp = (folder / ".tv-desktop-XXXXXX").string();
  UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
  if (!fd) return false;
  const bool written = WriteAll(fd.get(), *text) && ::fchmod(fd.get(), 0755) == 0 &&
                       ::fsync(fd.get()) == 0 && ::close(fd.release()) == 0;
  // rename replaces an existing entry (or a link planted in its place) without following it.
  if (!written || ::rename(temp.c_str(), target.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  MarkTrusted(target);
  return true;
}

std::map<std::string, std::string> ReadDesktopEntryGroup(std::string_view text) {
  std::map<std::string, std::string> keys;
  bool inGroup = false;
  std::size_t begin = 0;
  while (begin < text.size()) {
    auto end = text.find('\n', begin);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(begin, end - begin);
    begin = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      inGroup = line == "[Desktop Entry]";
      continue;
    }
    const auto eq = line.find('=');
    if (!inGroup || eq == std::string_view::npos) continue;
    std::string_view key = line.substr(0, eq);
    std::string_view value = line.substr(eq + 1);
    while (!key.empty() && key.back() == ' ') key.remove_suffix(1);
    while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
    keys.emplace(std::string(key), std::string(value));  // the first of duplicates counts
  }
  return keys;
}

}  // namespace tv::platform
