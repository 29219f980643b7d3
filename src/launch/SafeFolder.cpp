#include "SafeFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <system_error>
#include <utility>

namespace tv::launch {

using tv::platform::UniqueFd;

namespace {

[[noreturn]] void Fail(const char* what, const std::filesystem::path& path, int error) {
  throw EFileError(std::string(what) + " \"" + path.string() + "\". " +
                   std::system_category().message(error) + ".");
}

// A fresh name beside name for a file that is being written.
std::string TemporaryName(const std::string& name) {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  return "." + name + "." + std::to_string(random() % 1000000000ULL) + ".tmp";
}

}  // namespace

TSafeFolder TSafeFolder::OpenOrCreate(const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  if (error) Fail("Cannot create folder", path, error.value());
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd) Fail("Cannot open folder", path, errno);
  return TSafeFolder(std::move(fd), path);
}

TSafeFolder TSafeFolder::Subfolder(const std::filesystem::path& relative) const {
  UniqueFd current(::fcntl(FFd.get(), F_DUPFD_CLOEXEC, 0));
  if (!current) Fail("Cannot open folder", FPath, errno);
  std::filesystem::path currentPath = FPath;
  for (const auto& step : relative) {
    const std::string name = step.string();
    if (name.empty() || name == ".") continue;
    currentPath /= step;
    if (name == ".." || name.find('/') != std::string::npos) {
      Fail("Cannot open folder", currentPath, EACCES);
    }
    if (::mkdirat(current.get(), name.c_str(), 0777) != 0 && errno != EEXIST) {
      Fail("Cannot create folder", currentPath, errno);
    }
    // ELOOP or ENOTDIR: a link or a file stands where the folder belongs.
    UniqueFd next(
        ::openat(current.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!next) Fail("Cannot open folder", currentPath, errno);
    current = std::move(next);
  }
  return TSafeFolder(std::move(current), currentPath);
}

bool TSafeFolder::HasFolder(const std::string& name) const {
  struct stat info {};
  return ::fstatat(FFd.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISDIR(info.st_mode);
}

bool TSafeFolder::HasRegularFile(const std::string& name) const {
  struct stat info {};
  return ::fstatat(FFd.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISREG(info.st_mode);
}

UniqueFd TSafeFolder::CreateExclusive(const std::string& name, bool executable) const {
  RemoveQuietly(name);
  UniqueFd fd(::openat(FFd.get(), name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                       executable ? 0777 : 0666));
  if (!fd) Fail("Cannot create file", FPath / name, errno);
  return fd;
}

void TSafeFolder::Rename(const std::string& from, const std::string& to) const {
  if (::renameat(FFd.get(), from.c_str(), FFd.get(), to.c_str()) != 0) {
    Fail("Cannot create file", FPath / to, errno);
  }
}

void TSafeFolder::RemoveQuietly(const std::string& name) const noexcept {
  ::unlinkat(FFd.get(), name.c_str(), 0);
}

void TSafeFolder::ReplaceFile(const std::string& name, std::span<const uint8_t> bytes,
                              bool executable) const {
  const std::string temporary = TemporaryName(name);
  UniqueFd fd = CreateExclusive(temporary, executable);
  try {
    WriteAllAt(fd.get(), bytes.data(), bytes.size(), 0, FPath / name);
    // close() releases the descriptor even when it reports a failed write-back.
    if (::close(fd.release()) != 0) Fail("Cannot write file", FPath / name, errno);
    Rename(temporary, name);
  } catch (...) {
    fd.reset();
    RemoveQuietly(temporary);
    throw;
  }
}

void WriteAllAt(int fd, const uint8_t* data, size_t size, int64_t offset,
                const std::filesystem::path& path) {
  while (size > 0) {
    const ssize_t written = ::pwrite(fd, data, size, static_cast<off_t>(offset));
    if (written < 0) {
      if (errno == EINTR) continue;
      Fail("Cannot write file", path, errno);
    }
    if (written == 0) Fail("Cannot write file", path, ENOSPC);
    data += written;
    size -= static_cast<size_t>(written);
    offset += written;
  }
}

}  // namespace tv::launch
