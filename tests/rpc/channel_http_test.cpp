// The HTTP channel against real loopback servers: what it sends, what it returns, and how each
// kind of failure is reported.
#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "LoopbackHttpServer.h"
#include "ROHTTPChannel.h"

using testing::HasSubstr;
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

// A TCP port that listens but whose owner never accepts, reads or answers: the kernel completes
// the connection, so a client can send its request and then waits forever.
class SilentListener {
 public:
  SilentListener() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd_, 4) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      throw std::runtime_error("cannot listen on loopback");
    port_ = ntohs(address.sin_port);
  }
  ~SilentListener() { ::close(fd_); }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/bin"; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

}  // namespace

TEST(ChannelSettings, DefaultsOfTheClientLibrary) {
  TROHTTPChannel channel;
  EXPECT_EQ(channel.UserAgent(), "RemObjects SDK");
  EXPECT_EQ(channel.Timeout(), 600000);
  EXPECT_EQ(channel.TargetURL(), "");
  EXPECT_THROW(channel.SetTimeout(-1), EROException);
}

TEST(ChannelSettings, TargetUrlMustBeHttpOrHttps) {
  std::atomic<int> requests = 0;
  LoopbackHttpServer server([&](const httplib::Request&, httplib::Response&) { ++requests; });
  TROHTTPChannel channel;
  channel.SetTargetURL(server.Url());
  for (const char* bad : {"ftp://127.0.0.1/bin", "file:///etc/passwd", "127.0.0.1:8091/bin",
                          "http//127.0.0.1/bin", "http://", "gopher://x", "not a url", " "}) {
    try {
      channel.SetTargetURL(bad);
      ADD_FAILURE() << "accepted " << bad;
    } catch (const EROException& e) {
      EXPECT_STREQ(e.what(), "Invalid URL format") << bad;
    }
    EXPECT_EQ(channel.TargetURL(), server.Url()) << "a refused URL must not replace the last one";
  }
  for (const char* good : {"http://127.0.0.1:8091/bin", "HTTPS://updates.example.com/bin",
                           "http://[::1]:8091/BIN", "https://host"}) {
    EXPECT_NO_THROW(channel.SetTargetURL(good)) << good;
    EXPECT_EQ(channel.TargetURL(), good);
  }
  EXPECT_EQ(requests, 0) << "checking a URL sends nothing";

  channel.SetTargetURL("");
  EXPECT_THAT(Failure(channel), HasSubstr("No service URL"));
}

TEST(ChannelExchange, PostsTheBodyWithTheServiceHeadersAndReturnsTheAnswer) {
  Bytes request(300 * 1024);
  for (std::size_t i = 0; i < request.size(); ++i) request[i] = static_cast<std::uint8_t>(i * 7);
  const std::string answer = std::string("RO107") + std::string(1 << 20, '\0') + "end";
  std::mutex lock;
  std::string method, contentType, userAgent, expect, body;
  LoopbackHttpServer server([&](const httplib::Request& req, httplib::Response& res) {
    const std::lock_guard<std::mutex> guard(lock);
    method = req.method;
    contentType = req.get_header_value("Content-Type");
    userAgent = req.get_header_value("User-Agent");
    expect = req.get_header_value("Expect");
    body = req.body;
    res.set_content(answer, "application/octet-stream");
  });
  TROHTTPChannel channel;
  channel.SetTargetURL(server.Url());
  const Bytes received = channel.Dispatch(request);
  EXPECT_EQ(received, ToBytes(answer));
  const std::lock_guard<std::mutex> guard(lock);
  EXPECT_EQ(method, "POST");
  EXPECT_EQ(contentType, "application/octet-stream");
  EXPECT_EQ(userAgent, "RemObjects SDK");
  EXPECT_EQ(expect, "");
  EXPECT_EQ(body, std::string(request.begin(), request.end()));
}

TEST(ChannelExchange, EveryCallOpensItsOwnConnection) {
  std::mutex lock;
  std::set<int> clientPorts;
  LoopbackHttpServer server([&](const httplib::Request& req, httplib::Response& res) {
    const std::lock_guard<std::mutex> guard(lock);
    clientPorts.insert(req.remote_port);
    res.set_content("RO107", "application/octet-stream");
  });
  TROHTTPChannel channel;
  channel.SetTargetURL(server.Url());
  for (int i = 0; i < 3; ++i) channel.Dispatch(ToBytes("RO107"));
  const std::lock_guard<std::mutex> guard(lock);
  EXPECT_EQ(clientPorts.size(), 3u);
}

TEST(ChannelExchange, MessageBodiesAreReturnedWhateverTheStatus) {
  // The service reports its own failures as exception messages with status 500; a 2xx answer
  // that is no message is handed on too, and the message decoder refuses it.
  struct Case {
    int status;
    std::string body;
  } cases[] = {{500, "RO107\x01 exception"}, {400, "RO106 old"}, {200, "<html>ok</html>"}};
  for (const Case& c : cases) {
    LoopbackHttpServer server([&](const httplib::Request&, httplib::Response& res) {
      res.status = c.status;
      res.set_content(c.body, "application/octet-stream");
    });
    TROHTTPChannel channel;
    channel.SetTargetURL(server.Url());
    EXPECT_EQ(channel.Dispatch(ToBytes("RO107")), ToBytes(c.body)) << c.status;
  }
}

TEST(ChannelFailures, AnswerOutsideTwoHundredThatIsNoMessageNamesTheStatus) {
  struct Case {
    int status;
    std::string body;
  } cases[] = {{404, "Not Found"},
               {500, "<html><body>Internal Server Error</body></html>"},
               {503, ""},
               {302, "moved"},
               {401, "RO1"}};
  for (const Case& c : cases) {
    LoopbackHttpServer server([&](const httplib::Request&, httplib::Response& res) {
      res.status = c.status;
      if (c.status == 302) res.set_header("Location", "http://127.0.0.1:1/elsewhere");
      res.set_content(c.body, "text/html");
    });
    TROHTTPChannel channel;
    channel.SetTargetURL(server.Url());
    const std::string error = Failure(channel);
    EXPECT_THAT(error, HasSubstr("HTTP status " + std::to_string(c.status))) << error;
    EXPECT_THAT(error, HasSubstr(server.Url())) << error;
  }
}

TEST(ChannelFailures, RefusedConnectionNamesTheUrlAndTheSystemReason) {
  std::string url;
  {
    LoopbackHttpServer closed([](const httplib::Request&, httplib::Response&) {});
    url = closed.Url();
  }  // the port is free again, nobody listens
  TROHTTPChannel channel;
  channel.SetTargetURL(url);
  const std::string error = Failure(channel);
  EXPECT_THAT(error, HasSubstr(url));
  EXPECT_THAT(error, HasSubstr("Connection refused"));
}

TEST(ChannelFailures, UnknownHostNamesTheUrl) {
  TROHTTPChannel channel;
  channel.SetTargetURL("http://tolvara-updates.invalid:8091/bin");
  channel.SetTimeout(5000);
  EXPECT_THAT(Failure(channel), HasSubstr("http://tolvara-updates.invalid:8091/bin"));
}

TEST(ChannelFailures, ServerThatNeverAnswersTimesOut) {
  SilentListener silent;
  TROHTTPChannel channel;
  channel.SetTargetURL(silent.Url());
  channel.SetTimeout(1000);
  const std::string error = Failure(channel);
  EXPECT_THAT(error, HasSubstr("did not answer within 1000 ms"));
  EXPECT_THAT(error, HasSubstr(silent.Url()));
}

TEST(ChannelExchange, SlowAnswerThatKeepsMovingIsNotCut) {
  // Ten pieces 250 ms apart: 2.5 s in all, against a time-out of 1 s of silence.
  LoopbackHttpServer server([](const httplib::Request&, httplib::Response& res) {
    res.set_chunked_content_provider(
        "application/octet-stream", [](std::size_t offset, httplib::DataSink& sink) {
          if (offset >= 50) {
            sink.done();
            return true;
          }
          std::this_thread::sleep_for(std::chrono::milliseconds(250));
          const std::string piece = offset == 0 ? std::string("RO107") : "12345";
          sink.write(piece.data(), piece.size());
          return true;
        });
  });
  TROHTTPChannel channel;
  channel.SetTargetURL(server.Url());
  channel.SetTimeout(1000);
  EXPECT_EQ(channel.Dispatch(ToBytes("RO107")).size(), 50u);
}

TEST(ChannelFailures, UntrustedCertificateIsRefusedWithoutSendingTheRequest) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("tv-channel-tls-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string cert = (dir / "cert.pem").string(), key = (dir / "key.pem").string();
  const std::string make =
      "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1"
      " -addext subjectAltName=IP:127.0.0.1 -keyout '" +
      key + "' -out '" + cert + "' >/dev/null 2>&1";
  if (std::system(make.c_str()) != 0) {
    std::filesystem::remove_all(dir);
    GTEST_SKIP() << "the openssl tool is needed to make a self-signed certificate";
  }
  std::atomic<int> requests = 0;
  {
    LoopbackHttpServer server(cert, key, [&](const httplib::Request&, httplib::Response& res) {
      ++requests;
      res.set_content("RO107", "application/octet-stream");
    });
    TROHTTPChannel channel;
    channel.SetTargetURL(server.Url());
    const std::string error = Failure(channel);
    EXPECT_THAT(error, HasSubstr(server.Url()));
    EXPECT_THAT(error, HasSubstr("certificate"));
  }
  std::filesystem::remove_all(dir);
  EXPECT_EQ(requests, 0);
}

TEST(ChannelFailures, OversizedAnswerIsRefused) {
  LoopbackHttpServer server([](const httplib::Request&, httplib::Response& res) {
    res.set_content(std::string("RO107") + std::string(5000, 'x'), "application/octet-stream");
  });
  TROHTTPChannel channel;
  channel.SetTargetURL(server.Url());
  channel.SetMaxResponseSize(1000);
  EXPECT_THAT(Failure(channel), HasSubstr("larger than the 1000 bytes"));
}
