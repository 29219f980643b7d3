// Helpers for the server's tests: a client of the project's own proxy over HTTP, raw posts for
// requests that the proxy would never send, and deterministic file contents.
#pragma once

#include <gtest/gtest.h>
#include <httplib.h>

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

}  // namespace tvserver::testing
