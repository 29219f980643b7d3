#include "FileUtil.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <system_error>

#include "UniqueFd.h"

namespace tv::platform {
namespace {

[[noreturn]] void Fail(const char* what, const std::filesystem::path& path, int error) {
  throw FileError(std::string(what) + " \"" + path.string() + "\". " + SystemErrorText(error),
                  error);
}

void WriteAll(int fd, std::string_view bytes, const std::filesystem::path& path) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("Cannot write file", path, errno);
    }
    done += static_cast<std::size_t>(n);
  }
}

// The file a path finally names, through any symbolic links; the path itself when it does not
// exist yet (or its links dangle: the write then creates the file where the path says).
std::filesystem::path ResolveTarget(const std::filesystem::path& path) {
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) != nullptr) return resolved;
  return path;
}

void WriteInPlace(const std::filesystem::path& target, std::string_view bytes) {
  UniqueFd fd(::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!fd) Fail("Cannot open file", target, errno);
  // Reserving the space first means the rewrite cannot stop half way for want of room.
  if (!bytes.empty()) {
    const int rc = ::posix_fallocate(fd.get(), 0, static_cast<off_t>(bytes.size()));
    if (rc != 0 && rc != EOPNOTSUPP && rc != EINVAL) Fail("Cannot write file", target, rc);
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n =
        ::pwrite(fd.get(), bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("Cannot write file", target, errno);
    }
    done += static_cast<std::size_t>(n);
  }
  if (::ftruncate(fd.get(), static_cast<off_t>(bytes.size())) != 0 || ::fsync(fd.get()) != 0) {
    Fail("Cannot write file", target, errno);
  }
}

}  // namespace

bool FileExists(const std::filesystem::path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::filesystem::path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateFolder(const std::filesystem::path& path) {
  return ::mkdir(path.c_str(), 0777) == 0;
}

bool CreateFolders(const std::filesystem::path& path) {
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  return DirectoryExists(path);
}

void WriteWholeFile(const std::filesystem::path& path, std::string_view bytes) {
  // O_NONBLOCK keeps a planted FIFO from hanging the open; the type is checked right after.
  UniqueFd fd(::open(path.c_str(),
                     O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0666));
  if (!fd) {
    const int error = errno;
    if (error == ELOOP) {
      throw FileError("Cannot create file \"" + path.string() +
                          "\". It is a symbolic link, which is not written through",
                      error);
    }
    Fail("Cannot create file", path, error);
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) Fail("Cannot create file", path, errno);
  if (!S_ISREG(st.st_mode)) {
    throw FileError("Cannot create file \"" + path.string() + "\". It is not a regular file",
                    EINVAL);
  }
  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags >= 0) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
  WriteAll(fd.get(), bytes, path);
  if (::close(fd.release()) != 0) Fail("Cannot write file", path, errno);
}

std::string ReadWholeFile(const std::filesystem::path& path) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd) Fail("Cannot open file", path, errno);
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) Fail("Cannot open file", path, errno);
  if (S_ISDIR(st.st_mode)) Fail("Cannot open file", path, EISDIR);
  if (!S_ISREG(st.st_mode)) Fail("Cannot open file", path, EINVAL);
  std::string content;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("Cannot read file", path, errno);
    }
    if (n == 0) break;
    content.append(buffer, static_cast<std::size_t>(n));
  }
  return content;
}

void ReplaceFileContents(const std::filesystem::path& path, std::string_view bytes) {
  const std::filesystem::path target = ResolveTarget(path);
  struct stat st {};
  if (::lstat(target.c_str(), &st) != 0) {
    if (errno != ENOENT) Fail("Cannot open file", target, errno);
    // Nothing to lose: a new file is written where it stands.
    UniqueFd fd(::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666));
    if (!fd) Fail("Cannot create file", target, errno);
    WriteAll(fd.get(), bytes, target);
    if (::fsync(fd.get()) != 0 || ::close(fd.release()) != 0) {
      Fail("Cannot write file", target, errno);
    }
    return;
  }
  if (!S_ISREG(st.st_mode)) Fail("Cannot write file", target, EINVAL);

  std::string temp = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX"));
  UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
  if (!fd) {
    const int error = errno;
    if (error == EACCES || error == EPERM) {
      WriteInPlace(target, bytes);
      return;
    }
    Fail("Cannot write file", target, error);
  }
  try {
    WriteAll(fd.get(), bytes, target);
    // The owner can only be kept by a privileged process; the mode always.
    [[maybe_unused]] const int owner = ::fchown(fd.get(), st.st_uid, st.st_gid);
    if (::fchmod(fd.get(), st.st_mode & 07777) != 0 || ::fsync(fd.get()) != 0 ||
        ::close(fd.release()) != 0) {
      Fail("Cannot write file", target, errno);
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) Fail("Cannot write file", target, errno);
  } catch (...) {
    ::unlink(temp.c_str());
    throw;
  }
}

bool FileError::NotFound() const {
  return error_ == ENOENT;
}

bool IsSafeFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '/' || u < 0x20 || u == 0x7F) return false;
  }
  return true;
}

}  // namespace tv::platform
