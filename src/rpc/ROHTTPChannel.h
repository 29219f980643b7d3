// HTTP client channel: posts each request to the target URL and reads the answer (libcurl on
// Linux, WinINet on Windows; the same settings, answers and failures on both).
//
// Every call opens and closes its own connection, sends "Content-Type: application/octet-stream"
// and the configured user agent, follows the system's proxy settings (Linux: http_proxy,
// https_proxy, no_proxy; Windows: the workstation's Internet settings) and verifies TLS
// certificates against the system store; an untrusted certificate fails the call. On Windows a
// call first asks the system to go online (InternetAttemptConnect); a refusal fails it. An answer whose body is a binary message ("RO10...") is returned whatever its
// HTTP status, because the service reports its own failures that way; any other answer outside
// 2xx fails with the status. Failures are EROTransportError naming the URL and the reason.
// Setting a URL whose scheme is not http or https fails at once with "Invalid URL format".
//
// One channel per thread: an instance is not safe for concurrent calls; separate instances may
// be used on separate threads at the same time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "ROTransportChannel.h"

class TROHTTPChannel : public IROTransportChannel {
 public:
  // The client library's default time-out, used by the download workers' channels.
  static constexpr int kDefaultTimeout = 600000;
  static constexpr int kDefaultConnectTimeout = 60000;
  static constexpr std::size_t kDefaultMaxResponseSize = std::size_t{128} << 20;

  TROHTTPChannel();

  // Parses the URL; an empty one is accepted and makes the next call fail.
  void SetTargetURL(const std::string& url);
  const std::string& TargetURL() const { return targetURL_; }

  void SetUserAgent(std::string userAgent) { userAgent_ = std::move(userAgent); }
  const std::string& UserAgent() const { return userAgent_; }

  // Milliseconds during which the exchange may make no progress at all before it is abandoned;
  // a slow answer that keeps arriving is not cut. 0 waits without limit.
  void SetTimeout(int milliseconds);
  int Timeout() const { return timeout_; }

  // Milliseconds allowed for establishing the connection (never more than Timeout).
  void SetConnectTimeout(int milliseconds);
  int ConnectTimeout() const { return connectTimeout_; }

  // Largest answer accepted; a longer one fails instead of filling memory.
  void SetMaxResponseSize(std::size_t bytes) { maxResponseSize_ = bytes; }
  std::size_t MaxResponseSize() const { return maxResponseSize_; }

  std::vector<std::uint8_t> Dispatch(std::span<const std::uint8_t> request) override;

 private:
  std::string targetURL_;
  std::string userAgent_ = "RemObjects SDK";
  int timeout_ = kDefaultTimeout;
  int connectTimeout_ = kDefaultConnectTimeout;
  std::size_t maxResponseSize_ = kDefaultMaxResponseSize;
};
