#include "ROHTTPChannel.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>
#include <system_error>

namespace {

// curl_global_init is not safe to race with other libcurl calls, so it runs exactly once,
// before the first handle of the process is made, whichever thread gets there first.
void EnsureCurlInitialised() {
  static std::once_flag once;
  static CURLcode result = CURLE_OK;
  std::call_once(once, [] { result = curl_global_init(CURL_GLOBAL_DEFAULT); });
  if (result != CURLE_OK)
    throw EROTransportError(std::string("Cannot initialise the HTTP library: ") +
                            curl_easy_strerror(result));
}

struct CurlEasyDeleter {
  void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct CurlSlistDeleter {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
struct CurlUrlDeleter {
  void operator()(CURLU* u) const { curl_url_cleanup(u); }
};
struct CurlStringDeleter {
  void operator()(char* s) const { curl_free(s); }
};

bool IEquals(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

bool IsHttpUrl(const std::string& url) {
  EnsureCurlInitialised();
  std::unique_ptr<CURLU, CurlUrlDeleter> handle(curl_url());
  if (!handle) throw std::bad_alloc();
  if (curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return false;
  char* rawScheme = nullptr;
  if (curl_url_get(handle.get(), CURLUPART_SCHEME, &rawScheme, 0) != CURLUE_OK) return false;
  std::unique_ptr<char, CurlStringDeleter> scheme(rawScheme);
  char* rawHost = nullptr;
  if (curl_url_get(handle.get(), CURLUPART_HOST, &rawHost, 0) != CURLUE_OK) return false;
  std::unique_ptr<char, CurlStringDeleter> host(rawHost);
  return (IEquals(scheme.get(), "http") || IEquals(scheme.get(), "https")) && *host.get() != '\0';
}

// What a call collects while libcurl runs it.
struct Exchange {
  std::vector<std::uint8_t> body;
  std::size_t limit = 0;
  bool overflowed = false;
  // Silence watch: the time of the last byte that moved in either direction.
  std::chrono::milliseconds idleLimit{0};
  std::chrono::steady_clock::time_point lastActivity = std::chrono::steady_clock::now();
  curl_off_t lastDown = 0;
  curl_off_t lastUp = 0;
  bool timedOut = false;
};

// libcurl's own low-speed check averages over several seconds, so it fires seconds late; this
// one ends the exchange once nothing has moved for the time-out, to within libcurl's progress
// period (at most a second).
int OnProgress(void* user, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t uploaded) {
  auto& ex = *static_cast<Exchange*>(user);
  const auto now = std::chrono::steady_clock::now();
  if (downloaded != ex.lastDown || uploaded != ex.lastUp) {
    ex.lastDown = downloaded;
    ex.lastUp = uploaded;
    ex.lastActivity = now;
    return 0;
  }
  if (ex.idleLimit.count() > 0 && now - ex.lastActivity >= ex.idleLimit) {
    ex.timedOut = true;
    return 1;
  }
  return 0;
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto& ex = *static_cast<Exchange*>(user);
  const std::size_t n = size * count;
  if (n > ex.limit - std::min(ex.limit, ex.body.size())) {
    ex.overflowed = true;
    return 0;  // makes libcurl stop with a write error
  }
  ex.body.insert(ex.body.end(), data, data + n);
  return n;
}

// Reserves the announced length once, so that a large answer lands in one buffer without
// being moved around while it grows.
std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto& ex = *static_cast<Exchange*>(user);
  const std::size_t n = size * count;
  constexpr std::string_view kName = "content-length:";
  const std::string_view line(data, n);
  if (line.size() > kName.size() && IEquals(line.substr(0, kName.size()), kName)) {
    std::size_t value = 0;
    bool digits = false;
    for (char c : line.substr(kName.size())) {
      if (c >= '0' && c <= '9') {
        digits = true;
        if (value > ex.limit) break;
        value = value * 10 + static_cast<std::size_t>(c - '0');
      } else if (digits) {
        break;
      }
    }
    if (digits && value <= ex.limit) ex.body.reserve(value);
  }
  return n;
}

bool IsMessageBody(const std::vector<std::uint8_t>& body) {
  return body.size() >= 4 && std::memcmp(body.data(), "RO10", 4) == 0;
}

template <typename T>
void SetOpt(CURL* h, CURLoption option, T value) {
  const CURLcode rc = curl_easy_setopt(h, option, value);
  if (rc != CURLE_OK)
    throw EROTransportError(std::string("Cannot configure the HTTP request: ") +
                            curl_easy_strerror(rc));
}

}  // namespace

TROHTTPChannel::TROHTTPChannel() {
  EnsureCurlInitialised();
}

void TROHTTPChannel::SetTargetURL(const std::string& url) {
  if (!url.empty() && !IsHttpUrl(url)) throw EROException("Invalid URL format");
  targetURL_ = url;
}

void TROHTTPChannel::SetTimeout(int milliseconds) {
  if (milliseconds < 0) throw EROException("The channel time-out cannot be negative");
  timeout_ = milliseconds;
}

void TROHTTPChannel::SetConnectTimeout(int milliseconds) {
  if (milliseconds < 0) throw EROException("The connect time-out cannot be negative");
  connectTimeout_ = milliseconds;
}

std::vector<std::uint8_t> TROHTTPChannel::Dispatch(std::span<const std::uint8_t> request) {
  if (targetURL_.empty())
    throw EROTransportError("No service URL is set; the request cannot be sent");

  std::unique_ptr<CURL, CurlEasyDeleter> easy(curl_easy_init());
  if (!easy) throw EROTransportError("Cannot create an HTTP request handle");
  CURL* h = easy.get();

  // "Expect:" keeps libcurl from waiting for a 100-continue that plain servers never send.
  std::unique_ptr<curl_slist, CurlSlistDeleter> headers;
  for (const char* line : {"Content-Type: application/octet-stream", "Expect:"}) {
    curl_slist* grown = curl_slist_append(headers.get(), line);
    if (grown == nullptr) throw std::bad_alloc();
    static_cast<void>(headers.release());
    headers.reset(grown);
  }

  Exchange ex;
  ex.limit = maxResponseSize_;
  char errorText[CURL_ERROR_SIZE] = {};

  SetOpt(h, CURLOPT_URL, targetURL_.c_str());
  SetOpt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  SetOpt(h, CURLOPT_POST, 1L);
  SetOpt(h, CURLOPT_POSTFIELDS, static_cast<const void*>(request.data()));
  SetOpt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.size()));
  SetOpt(h, CURLOPT_HTTPHEADER, headers.get());
  SetOpt(h, CURLOPT_USERAGENT, userAgent_.c_str());
  SetOpt(h, CURLOPT_WRITEFUNCTION, &OnBody);
  SetOpt(h, CURLOPT_WRITEDATA, static_cast<void*>(&ex));
  SetOpt(h, CURLOPT_HEADERFUNCTION, &OnHeader);
  SetOpt(h, CURLOPT_HEADERDATA, static_cast<void*>(&ex));
  SetOpt(h, CURLOPT_ERRORBUFFER, errorText);
  // Threads that wait on the network must not be woken by signals meant for others.
  SetOpt(h, CURLOPT_NOSIGNAL, 1L);
  // Each call stands alone: a connection is never kept for, or taken from, another call.
  SetOpt(h, CURLOPT_FRESH_CONNECT, 1L);
  SetOpt(h, CURLOPT_FORBID_REUSE, 1L);
  SetOpt(h, CURLOPT_SSL_VERIFYPEER, 1L);
  SetOpt(h, CURLOPT_SSL_VERIFYHOST, 2L);
  if (timeout_ > 0) {
    // The time-out limits silence, not the whole exchange: a large answer that keeps coming at
    // a modem's pace must not be cut, a server that has gone quiet must.
    ex.idleLimit = std::chrono::milliseconds(timeout_);
    SetOpt(h, CURLOPT_NOPROGRESS, 0L);
    SetOpt(h, CURLOPT_XFERINFOFUNCTION, &OnProgress);
    SetOpt(h, CURLOPT_XFERINFODATA, static_cast<void*>(&ex));
    SetOpt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    SetOpt(h, CURLOPT_LOW_SPEED_TIME, static_cast<long>((timeout_ + 999) / 1000));
  }
  const int connectLimit = timeout_ > 0 ? std::min(timeout_, connectTimeout_) : connectTimeout_;
  if (connectLimit > 0) SetOpt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connectLimit));

  const CURLcode rc = curl_easy_perform(h);
  if (rc != CURLE_OK) {
    if (ex.overflowed)
      throw EROTransportError("The answer of " + targetURL_ + " is larger than the " +
                              std::to_string(maxResponseSize_) + " bytes this client accepts");
    std::string reason = errorText[0] != '\0' ? errorText : curl_easy_strerror(rc);
    long osError = 0;
    if (curl_easy_getinfo(h, CURLINFO_OS_ERRNO, &osError) == CURLE_OK && osError != 0) {
      const std::string system = std::system_category().message(static_cast<int>(osError));
      if (reason.find(system) == std::string::npos) reason += " (" + system + ")";
    }
    if (ex.timedOut || rc == CURLE_OPERATION_TIMEDOUT)
      throw EROTransportError("The service at " + targetURL_ + " did not answer within " +
                              std::to_string(timeout_) + " ms" +
                              (ex.timedOut ? std::string() : ": " + reason));
    throw EROTransportError("Cannot reach the service at " + targetURL_ + ": " + reason);
  }

  long status = 0;
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
  if (!IsMessageBody(ex.body) && (status < 200 || status > 299))
    throw EROTransportError("The service at " + targetURL_ + " answered with HTTP status " +
                            std::to_string(status));
  return std::move(ex.body);
}
