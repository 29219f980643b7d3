#include "Trash.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FileUtil.h"
#include "SpecialFolders.h"
#include "UniqueFd.h"

namespace tv::platform {
namespace {

constexpr std::size_t kNameMax = NAME_MAX;
constexpr std::string_view kInfoSuffix = ".trashinfo";

// An absolute path split into folders and its last name, with "." components dropped.
struct SplitPath {
  std::string absolute;              // as recorded in the trash info
  std::vector<std::string> folders;  // below "/"
  std::string leaf;
};

std::optional<SplitPath> Split(const std::filesystem::path& path) {
  if (path.empty()) return std::nullopt;
  std::string text = path.string();
  if (text.front() != '/') {
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd) == nullptr) return std::nullopt;
    text = std::string(cwd) + "/" + text;
  }
  SplitPath split;
  std::size_t begin = 0;
  while (begin < text.size()) {
    auto end = text.find('/', begin);
    if (end == std::string::npos) end = text.size();
    const std::string part = text.substr(begin, end - begin);
    begin = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") return std::nullopt;  // would resolve through whatever the parent links to
    split.folders.push_back(part);
  }
  if (split.folders.empty()) return std::nullopt;  // the root itself
  split.leaf = split.folders.back();
  split.folders.pop_back();
  for (const auto& folder : split.folders) split.absolute += "/" + folder;
  split.absolute += "/" + split.leaf;
  return split;
}

// The folder that holds the leaf, opened one level at a time so that no path length limit applies.
UniqueFd OpenParent(const SplitPath& split) {
  UniqueFd dir(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
  for (const auto& folder : split.folders) {
    if (!dir) break;
    dir.reset(::openat(dir.get(), folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  }
  return dir;
}

std::string PercentEncode(std::string_view path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : path) {
    const auto u = static_cast<unsigned char>(c);
    const bool plain = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
                       c == '-' || c == '_' || c == '.' || c == '~' || c == '/';
    if (plain) {
      out += c;
    } else {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 0xF];
    }
  }
  return out;
}

std::string DeletionDate() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%S", &local);
  return buffer;
}

// name cut to at most max bytes, never inside a UTF-8 sequence.
std::string CutName(const std::string& name, std::size_t max) {
  if (name.size() <= max) return name;
  std::size_t cut = max;
  while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
  return name.substr(0, cut);
}

struct Trash {
  UniqueFd files;
  UniqueFd info;
  std::string topdir;  // empty for the home trash, whose records hold absolute paths
};

bool OpenTrashFolders(const std::string& root, Trash& trash) {
  ::mkdir(root.c_str(), 0700);
  ::mkdir((root + "/files").c_str(), 0700);
  ::mkdir((root + "/info").c_str(), 0700);
  trash.files.reset(::open((root + "/files").c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  trash.info.reset(::open((root + "/info").c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  return trash.files && trash.info;
}

std::optional<Trash> HomeTrash() {
  const std::string data = AppDataFolder();
  if (data.empty()) return std::nullopt;
  CreateFolders(data);
  Trash trash;
  if (!OpenTrashFolders(data + "/Trash", trash)) return std::nullopt;
  return trash;
}

// The trash at the top of the file system that holds the folder path.
std::optional<Trash> TopdirTrash(const std::string& parent, dev_t device) {
  std::string top = parent.empty() ? "/" : parent;
  for (;;) {
    const auto slash = top.rfind('/');
    const std::string up = slash == 0 ? "/" : top.substr(0, slash);
    struct stat st {};
    if (top == "/" || ::stat(up.c_str(), &st) != 0 || st.st_dev != device) break;
    top = up;
  }
  const std::string root = (top == "/" ? "" : top) + "/.Trash-" + std::to_string(::getuid());
  ::mkdir(root.c_str(), 0700);
  // Only a real folder of our own: a planted link or someone else's folder would leak the data.
  struct stat st {};
  if (::lstat(root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) {
    return std::nullopt;
  }
  Trash trash;
  if (!OpenTrashFolders(root, trash)) return std::nullopt;
  trash.topdir = top;
  return trash;
}

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Moves the leaf into the trash under a free name; errno tells why when it returns false.
bool MoveInto(const Trash& trash, int parent, const SplitPath& split) {
  std::string recorded = split.absolute;
  if (!trash.topdir.empty() && trash.topdir != "/") {
    recorded = split.absolute.substr(trash.topdir.size() + 1);
  } else if (trash.topdir == "/") {
    recorded = split.absolute.substr(1);
  }
  const std::string record =
      "[Trash Info]\nPath=" + PercentEncode(recorded) + "\nDeletionDate=" + DeletionDate() + "\n";
  const std::string base = CutName(split.leaf, kNameMax - kInfoSuffix.size() - 8);
  for (int n = 1; n < 100000; ++n) {
    const std::string name = n == 1 ? base : base + "." + std::to_string(n);
    const std::string infoName = name + std::string(kInfoSuffix);
    // The record is created first and exclusively: it reserves the name against other programs.
    UniqueFd info(::openat(trash.info.get(), infoName.c_str(),
                           O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!info) {
      if (errno == EEXIST) continue;
      return false;
    }
    struct stat st {};
    if (::fstatat(trash.files.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
      ::unlinkat(trash.info.get(), infoName.c_str(), 0);
      continue;
    }
    if (!WriteAll(info.get(), record) || ::fsync(info.get()) != 0) {
      const int error = errno;
      ::unlinkat(trash.info.get(), infoName.c_str(), 0);
      errno = error;
      return false;
    }
    info.reset();
    if (::renameat(parent, split.leaf.c_str(), trash.files.get(), name.c_str()) != 0) {
      const int error = errno;
      ::unlinkat(trash.info.get(), infoName.c_str(), 0);
      errno = error;
      return false;
    }
    return true;
  }
  errno = EEXIST;
  return false;
}

bool RemoveTree(int parent, const char* name) {
  struct stat st {};
  if (::fstatat(parent, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  if (!S_ISDIR(st.st_mode)) return ::unlinkat(parent, name, 0) == 0;
  const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    ::close(fd);
    return false;
  }
  bool ok = true;
  std::vector<std::string> entries;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view child = entry->d_name;
    if (child != "." && child != "..") entries.emplace_back(child);
  }
  for (const auto& child : entries) ok = RemoveTree(::dirfd(dir), child.c_str()) && ok;
  ::closedir(dir);
  return ok && ::unlinkat(parent, name, AT_REMOVEDIR) == 0;
}

bool MoveToTrash(const SplitPath& split, int parent) {
  struct stat item {};
  if (::fstatat(parent, split.leaf.c_str(), &item, AT_SYMLINK_NOFOLLOW) != 0) return false;
  auto home = HomeTrash();
  if (!home) return false;
  if (MoveInto(*home, parent, split)) return true;
  if (errno != EXDEV) return false;
  // The home trash is on another file system: the item's own file system has a trash of its own.
  std::string parentPath = split.absolute.substr(0, split.absolute.size() - split.leaf.size() - 1);
  if (auto top = TopdirTrash(parentPath, item.st_dev)) return MoveInto(*top, parent, split);
  return false;
}

}  // namespace

std::filesystem::path HomeTrashFolder() {
  const std::string data = AppDataFolder();
  return data.empty() ? std::filesystem::path() : std::filesystem::path(data + "/Trash");
}

bool MoveToTrash(const std::filesystem::path& path) {
  const auto split = Split(path);
  if (!split) return false;
  const UniqueFd parent = OpenParent(*split);
  return parent && MoveToTrash(*split, parent.get());
}

bool DeleteFolder(const std::filesystem::path& path) {
  const auto split = Split(path);
  if (!split) return false;
  const UniqueFd parent = OpenParent(*split);
  if (!parent) return false;
  struct stat st {};
  if (::fstatat(parent.get(), split->leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  if (MoveToTrash(*split, parent.get())) return true;
  return RemoveTree(parent.get(), split->leaf.c_str());
}

}  // namespace tv::platform
