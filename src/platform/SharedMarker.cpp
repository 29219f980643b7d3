#include "SharedMarker.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>

namespace tv::platform {
namespace {

// A start waits at most this long for a creator to publish its record.
constexpr auto kPublishWait = std::chrono::seconds(2);
constexpr std::size_t kNameMax = 255;  // of the object's file under /dev/shm

bool TryLock(int fd, short type) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 0;
  return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

bool LockBusy(int error) {
  return error == EAGAIN || error == EACCES;
}

}  // namespace

std::string SharedMarker::ObjectName(std::string_view name) {
  const std::string uid = std::to_string(::getuid());
  const std::string readable = "tv-" + uid + "-" + std::string(name);
  if (readable.size() <= kNameMax && name.find('/') == std::string_view::npos &&
      name.find('\0') == std::string_view::npos) {
    return "/" + readable;
  }
  // A different prefix keeps digests apart from readable names.
  return "/tvh-" + uid + "-" + NameDigest(name);
}

SharedMarker SharedMarker::Open(std::string_view name) {
  const std::string object = ObjectName(name);
  const std::string shown(name);
  UniqueFd fd;
  for (int attempt = 0; !fd; ++attempt) {
    fd.reset(::shm_open(object.c_str(), O_RDWR | O_CLOEXEC, 0600));
    if (fd) break;
    if (errno == EACCES || errno == EPERM) {
      throw MarkerOpenError("Cannot open the instance marker \"" + shown +
                            "\": " + SystemErrorText(errno));
    }
    if (errno != ENOENT) {
      throw MarkerCreateError("Cannot create the instance marker \"" + shown +
                              "\": " + SystemErrorText(errno));
    }
    fd.reset(::shm_open(object.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (fd) break;
    if (errno != EEXIST || attempt > 100) {
      throw MarkerCreateError("Cannot create the instance marker \"" + shown +
                              "\": " + SystemErrorText(errno));
    }
    // Another process created it between our two calls: open it again.
  }

  bool created = false;
  const auto deadline = std::chrono::steady_clock::now() + kPublishWait;
  for (;;) {
    if (TryLock(fd.get(), F_WRLCK)) {
      created = true;
      break;
    }
    if (!LockBusy(errno)) {
      throw MarkerCreateError("Cannot lock the instance marker \"" + shown +
                              "\": " + SystemErrorText(errno));
    }
    if (TryLock(fd.get(), F_RDLCK)) {
      // The last other holder may have gone between the two calls; a marker nobody else holds
      // is stale whatever it says, so take it over.
      created = TryLock(fd.get(), F_WRLCK);
      break;
    }
    if (!LockBusy(errno)) {
      throw MarkerOpenError("Cannot lock the instance marker \"" + shown +
                            "\": " + SystemErrorText(errno));
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      throw MarkerOpenError("The instance marker \"" + shown +
                            "\" is held by a program that does not finish starting");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }

  if (created) {
    // Whatever a dead holder left is stale: start from eight zero bytes.
    if (::ftruncate(fd.get(), 0) != 0 || ::ftruncate(fd.get(), kSize) != 0) {
      throw MarkerCreateError("Cannot create the instance marker \"" + shown +
                              "\": " + SystemErrorText(errno));
    }
  } else {
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
      throw MarkerMapError("Cannot map the instance marker \"" + shown +
                           "\": " + SystemErrorText(errno));
    }
    if (st.st_size < static_cast<off_t>(kSize)) {
      // Touching a page past the end would kill us with SIGBUS.
      throw MarkerMapError("Cannot map the instance marker \"" + shown + "\": it is too short");
    }
  }
  void* view = ::mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd.get(), 0);
  if (view == MAP_FAILED) {
    throw MarkerMapError("Cannot map the instance marker \"" + shown +
                         "\": " + SystemErrorText(errno));
  }
  return SharedMarker(std::move(fd), view, created);
}

void SharedMarker::Remove(std::string_view name) {
  ::shm_unlink(ObjectName(name).c_str());
}

SharedMarker::SharedMarker(UniqueFd fd, void* view, bool created)
    : fd_(std::move(fd)), view_(view), created_(created) {}

SharedMarker::SharedMarker(SharedMarker&& other) noexcept
    : fd_(std::move(other.fd_)),
      view_(std::exchange(other.view_, nullptr)),
      created_(other.created_) {}

SharedMarker& SharedMarker::operator=(SharedMarker&& other) noexcept {
  if (this != &other) {
    Unmap();
    fd_ = std::move(other.fd_);
    view_ = std::exchange(other.view_, nullptr);
    created_ = other.created_;
  }
  return *this;
}

SharedMarker::~SharedMarker() {
  Unmap();
}

void SharedMarker::Unmap() {
  if (view_ != nullptr) ::munmap(view_, kSize);
  view_ = nullptr;
}

void SharedMarker::Publish() {
  // Turning the exclusive lock into a shared one is atomic: no third process can slip between.
  if (fd_) TryLock(fd_.get(), F_RDLCK);
}

SharedMarker::Bytes SharedMarker::Read() const {
  Bytes bytes{};
  if (view_ != nullptr) std::memcpy(bytes.data(), view_, kSize);
  return bytes;
}

void SharedMarker::Write(const Bytes& bytes) {
  if (view_ != nullptr) std::memcpy(view_, bytes.data(), kSize);
}

}  // namespace tv::platform
