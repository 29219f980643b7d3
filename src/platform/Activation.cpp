#include "Activation.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "PlatformError.h"
#include "SharedMarker.h"

namespace tv::platform {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::array<char, 8> kMagic = {'T', 'V', 'R', 'A', 'I', 'S', 'E', '1'};
constexpr std::size_t kRequestSize = kMagic.size() + 8;
constexpr char kAck = 'K';
// A client gets this long to send its request before the listener drops it.
constexpr int kServeTimeoutMs = 1000;

socklen_t Address(std::string_view markerName, sockaddr_un& address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  const std::string name =
      "tolvara-activate-" + std::to_string(::getuid()) + "-" + NameDigest(markerName);
  // sun_path[0] stays NUL: an abstract name, gone when the listener ends.
  std::memcpy(address.sun_path + 1, name.data(), name.size());
  return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
}

bool SameUser(int socket) {
  ucred peer{};
  socklen_t length = sizeof peer;
  return ::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 &&
         peer.uid == ::getuid();
}

int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Waits until fd is ready for events or the deadline passes.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    const int rc = ::poll(&p, 1, RemainingMs(deadline));
    if (rc > 0) return (p.revents & events) != 0;
    if (rc == 0) return false;
    if (errno != EINTR) return false;
  }
}

}  // namespace

ActivationListener::ActivationListener(std::string_view markerName, Callback callback)
    : callback_(std::move(callback)) {
  listen_.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!listen_) throw PlatformError("Cannot listen for activation: " + SystemErrorText(errno));
  sockaddr_un address{};
  const socklen_t length = Address(markerName, address);
  if (::bind(listen_.get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(listen_.get(), 8) != 0) {
    throw PlatformError("Cannot listen for activation: " + SystemErrorText(errno));
  }
  stop_.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!stop_) throw PlatformError("Cannot listen for activation: " + SystemErrorText(errno));
  thread_ = std::thread([this] { Run(); });
}

ActivationListener::~ActivationListener() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(stop_.get(), &one, sizeof one);
  if (thread_.joinable()) thread_.join();
}

void ActivationListener::Run() {
  for (;;) {
    pollfd fds[2] = {{listen_.get(), POLLIN, 0}, {stop_.get(), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    if ((fds[0].revents & POLLIN) == 0) continue;
    UniqueFd connection(::accept4(listen_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (connection) Serve(connection.get());
  }
}

void ActivationListener::Serve(int connection) {
  if (!SameUser(connection)) return;
  const auto deadline = Clock::now() + std::chrono::milliseconds(kServeTimeoutMs);
  std::array<unsigned char, kRequestSize> request{};
  std::size_t got = 0;
  while (got < request.size()) {
    if (!WaitFor(connection, POLLIN, deadline)) return;
    const ssize_t n = ::recv(connection, request.data() + got, request.size() - got, 0);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) return;
    got += static_cast<std::size_t>(n);
  }
  if (std::memcmp(request.data(), kMagic.data(), kMagic.size()) != 0) return;
  std::uint64_t window = 0;
  for (std::size_t i = 0; i < 8; ++i) {
    window |= static_cast<std::uint64_t>(request[kMagic.size() + i]) << (8 * i);
  }
  try {
    if (callback_) callback_(static_cast<HWND>(window));
  } catch (...) {
    // A failing handler must not end the listener; the requester still learns it was heard.
  }
  [[maybe_unused]] const ssize_t sent = ::send(connection, &kAck, 1, MSG_NOSIGNAL);
}

bool RequestRaise(std::string_view markerName, HWND ownerWindow,
                  std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd) return false;
  sockaddr_un address{};
  const socklen_t length = Address(markerName, address);
  // A full backlog (a stuck listener) gives EAGAIN here at once instead of blocking.
  if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), length) != 0) return false;
  if (!SameUser(fd.get())) return false;

  std::array<unsigned char, kRequestSize> request{};
  std::memcpy(request.data(), kMagic.data(), kMagic.size());
  const auto window = static_cast<std::uint64_t>(ownerWindow);
  for (std::size_t i = 0; i < 8; ++i) {
    request[kMagic.size() + i] = static_cast<unsigned char>(window >> (8 * i));
  }
  std::size_t sent = 0;
  while (sent < request.size()) {
    if (!WaitFor(fd.get(), POLLOUT, deadline)) return false;
    const ssize_t n = ::send(fd.get(), request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  for (;;) {
    if (!WaitFor(fd.get(), POLLIN, deadline)) return false;
    char ack = 0;
    const ssize_t n = ::recv(fd.get(), &ack, 1, 0);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    return n == 1 && ack == kAck;
  }
}

}  // namespace tv::platform
