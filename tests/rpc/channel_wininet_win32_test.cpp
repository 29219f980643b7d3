// The WinINet channel against a Winsock loopback server: what it sends, what it returns, and how
// each kind of failure is reported (the same contract as the libcurl channel's tests).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ROHTTPChannel.h"
#include "Win32LoopbackServer.h"

using testing::HasSubstr;
using tvtest::HttpAnswer;
using tvtest::HttpRequest;
using tvtest::Win32LoopbackServer;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes ToBytes(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

std::string Failure(TROHTTPChannel& channel, const Bytes& request = ToBytes("RO107")) {
  try {
    channel.Dispatch(request);
  } catch (const EROTransportError& e) {
    return e.what();
  }
  return "(no failure)";
}

}  // namespace

TEST(WinInetChannel, PostsTheRequestAsItIsAndReturnsTheAnswer) {
  const std::string answer("RO107\x00\x01 answer", 14);
  Win32LoopbackServer server([&](const HttpRequest&) { return HttpAnswer{200, answer}; });
  TROHTTPChannel channel;
  channel.SetTargetURL(server.URL("/bin?x=1"));
  const std::string request("RO107\x00\xFF\r\n body", 14);
  EXPECT_EQ(channel.Dispatch(ToBytes(request)), ToBytes(answer));
  EXPECT_EQ(channel.Dispatch(ToBytes(request)), ToBytes(answer));

  const auto seen = server.Requests();
  ASSERT_EQ(seen.size(), 2u);  // one connection per call, each served
  for (const HttpRequest& r : seen) {
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.target, "/bin?x=1");
    EXPECT_EQ(r.Header("content-type"), "application/octet-stream");
    EXPECT_EQ(r.Header("user-agent"), "RemObjects SDK");
    EXPECT_EQ(r.body, request);
  }
}

TEST(WinInetChannel, AnswersByStatusAndBody) {
  struct Case {
    int status;
    std::string body;
    bool returned;  // else a failure that names the status
  };
  const Case cases[] = {
      {200, "plain bytes", true},
      {500, "RO107 the service's own failure", true},  // decoded by the message, not the channel
      {404, "Not Found", false},
      {302, "Moved", false},  // a redirect is not followed with the request
      {500, "Internal error", false},
  };
  for (const Case& c : cases) {
    Win32LoopbackServer server([&](const HttpRequest&) { return HttpAnswer{c.status, c.body}; });
    TROHTTPChannel channel;
    channel.SetTargetURL(server.URL());
    if (c.returned) {
      EXPECT_EQ(channel.Dispatch(ToBytes("RO107")), ToBytes(c.body)) << c.status;
    } else {
      EXPECT_THAT(Failure(channel),
                  HasSubstr("answered with HTTP status " + std::to_string(c.status)))
          << c.body;
    }
  }
}

TEST(WinInetChannel, URLsAreCheckedWhenSet) {
  TROHTTPChannel channel;
  for (const char* bad : {"ftp://127.0.0.1/bin", "file:///C:/x", "not a url", "http://"}) {
    EXPECT_THROW(channel.SetTargetURL(bad), EROException) << bad;
  }
  channel.SetTargetURL("HTTPS://example.invalid:8443/bin");
  EXPECT_EQ(channel.TargetURL(), "HTTPS://example.invalid:8443/bin");
  channel.SetTargetURL("");  // accepted; the call itself fails
  EXPECT_THAT(Failure(channel), HasSubstr("No service URL is set"));
}

TEST(WinInetChannel, FailuresNameTheServiceAndTheReason) {
  std::string url;
  {
    Win32LoopbackServer gone([](const HttpRequest&) { return HttpAnswer{}; });
    url = gone.URL();
  }  // nothing listens on that port any more
  TROHTTPChannel refused;
  refused.SetTargetURL(url);
  EXPECT_THAT(Failure(refused), HasSubstr("Cannot reach the service at " + url));

  Win32LoopbackServer big([](const HttpRequest&) {
    return HttpAnswer{200, std::string(4096, 'x')};
  });
  TROHTTPChannel limited;
  limited.SetTargetURL(big.URL());
  limited.SetMaxResponseSize(1000);
  EXPECT_THAT(Failure(limited), HasSubstr("larger than the 1000 bytes"));
}

TEST(WinInetChannel, ASilentServerFailsTheCallAfterTheTimeout) {
  Win32LoopbackServer silent([](const HttpRequest&) { return std::optional<HttpAnswer>(); });
  TROHTTPChannel channel;
  channel.SetTargetURL(silent.URL());
  channel.SetTimeout(500);
  EXPECT_THAT(Failure(channel), HasSubstr("did not answer within 500 ms"));
}
