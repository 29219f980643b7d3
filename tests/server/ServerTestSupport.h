// Helpers for the server's tests: a client of the project's own proxy over HTTP, raw posts for
// requests that the proxy would never send, and deterministic file contents.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <string>

#include "ROBinMessage.h"
#include "ROHTTPChannel.h"
#include "UpdaterServiceLibrary_Intf.h"

namespace tvserver::testing {

// One client: its own identifier, message, channel and proxy, as a download worker has.
struct Client {
  explicit Client(const std::string& url)
      : message(std::make_shared<TROBinMessage>(TROGuid::NewRandom())),
        channel(std::make_shared<TROHTTPChannel>()) {
    channel->SetTargetURL(url);
    channel->SetTimeout(30000);
    service = CoUpdaterService::Create(message, channel);
  }
  IUpdaterService* operator->() const { return service.get(); }

  std::shared_ptr<TROBinMessage> message;
  std::shared_ptr<TROHTTPChannel> channel;
  std::shared_ptr<IUpdaterService> service;
};

// Bytes that differ from position to position (and between seeds), so a part read from the
// wrong offset never matches.
inline std::string patternBytes(std::size_t size, std::uint32_t seed = 1) {
  std::string out(size, '\0');
  std::uint32_t x = seed * 2654435761u + 12345u;
  for (std::size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    out[i] = static_cast<char>(x >> 16);
  }
  return out;
}

// Compares bytes without printing megabytes when they differ.
inline ::testing::AssertionResult sameBytes(const std::string& actual,
                                            const std::string& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  std::size_t i = 0;
  while (i < actual.size() && i < expected.size() && actual[i] == expected[i]) ++i;
  return ::testing::AssertionFailure() << "got " << actual.size() << " bytes, expected "
                                       << expected.size() << "; first difference at " << i;
}

// Posts body to the server as is and returns status and body.
inline std::pair<int, std::string> rawPost(int port, const std::string& path,
                                           const std::string& body) {
  httplib::Client http("127.0.0.1", port);
  http.set_read_timeout(30, 0);
  auto res = http.Post(path.c_str(), body, "application/octet-stream");
  if (!res) return {-1, {}};
  return {res->status, res->body};
}

// Sends request (raw HTTP) over a new connection and returns everything the server sent
// until it closed the connection or 10 s passed.
inline std::string rawHttp(int port, const std::string& request) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return {};
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  timeval timeout{10, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  std::string response;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
          static_cast<ssize_t>(request.size())) {
    char buf[4096];
    for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, 0)) > 0;) response.append(buf, n);
  }
  ::close(fd);
  return response;
}

}  // namespace tvserver::testing
