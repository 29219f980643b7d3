// The HTTP channel on WinINet, the Windows counterpart of the libcurl channel (ROHTTPChannel.cpp):
// the same class, settings and failures. Each call goes online when asked to
// (InternetAttemptConnect), opens its own internet handle with the system's proxy settings
// (INTERNET_OPEN_TYPE_PRECONFIG) and its own connection, posts the request with
// "Content-Type: application/octet-stream", reads the whole answer and closes both handles.
// Certificates are checked and never waved through: an untrusted one fails the call.
#include "ROHTTPChannel.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// clang-format off
#include <windows.h>
#include <wininet.h>
// clang-format on

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <string_view>

namespace {

struct InternetHandleDeleter {
  void operator()(void* handle) const { ::InternetCloseHandle(static_cast<HINTERNET>(handle)); }
};
using UniqueInternet = std::unique_ptr<void, InternetHandleDeleter>;

std::wstring Widen(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int size =
      ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(std::max(size, 0)), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
  return wide;
}

std::string Narrow(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(std::max(size, 0)), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), size,
                        nullptr, nullptr);
  return utf8;
}

// WinINet's own errors (12001 and up) have their texts in wininet.dll, the others in the system.
std::string ErrorText(DWORD error) {
  wchar_t* text = nullptr;
  DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS;
  HMODULE module = nullptr;
  if (error >= INTERNET_ERROR_BASE && error <= INTERNET_ERROR_LAST) {
    module = ::GetModuleHandleW(L"wininet.dll");
    flags |= FORMAT_MESSAGE_FROM_HMODULE;
  } else {
    flags |= FORMAT_MESSAGE_FROM_SYSTEM;
  }
  const DWORD length =
      ::FormatMessageW(flags, module, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message;
  if (length > 0 && text != nullptr) {
    std::wstring wide(text, length);
    while (!wide.empty() && (wide.back() == L'\r' || wide.back() == L'\n' || wide.back() == L' ' ||
                             wide.back() == L'.')) {
      wide.pop_back();
    }
    message = Narrow(wide);
  }
  if (text != nullptr) ::LocalFree(text);
  const std::string code = "error " + std::to_string(error);
  return message.empty() ? code : message + " (" + code + ")";
}

struct ParsedURL {
  bool secure = false;
  std::wstring host;
  INTERNET_PORT port = 0;
  std::wstring object;  // path and query, "/" when the URL has none
};

bool ParseURL(const std::string& url, ParsedURL& parsed) {
  const std::wstring wide = Widen(url);
  if (wide.empty()) return false;
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwSchemeLength = 1;
  parts.dwHostNameLength = 1;
  parts.dwUrlPathLength = 1;
  parts.dwExtraInfoLength = 1;
  if (!::InternetCrackUrlW(wide.c_str(), static_cast<DWORD>(wide.size()), 0, &parts)) return false;
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return false;
  if (parts.lpszHostName == nullptr || parts.dwHostNameLength == 0) return false;
  parsed.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  parsed.host.assign(parts.lpszHostName, parts.dwHostNameLength);
  parsed.port = parts.nPort;
  if (parts.lpszUrlPath != nullptr) parsed.object.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
  if (parts.lpszExtraInfo != nullptr) {
    parsed.object.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  }
  if (parsed.object.empty() || parsed.object.front() != L'/') parsed.object.insert(0, L"/");
  return true;
}

bool IsMessageBody(const std::vector<std::uint8_t>& body) {
  return body.size() >= 4 && std::memcmp(body.data(), "RO10", 4) == 0;
}

void SetTimeoutOption(HINTERNET handle, DWORD option, DWORD milliseconds) {
  ::InternetSetOptionW(handle, option, &milliseconds, sizeof milliseconds);
}

}  // namespace

TROHTTPChannel::TROHTTPChannel() = default;

void TROHTTPChannel::SetTargetURL(const std::string& url) {
  ParsedURL parsed;
  if (!url.empty() && !ParseURL(url, parsed)) throw EROException("Invalid URL format");
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
  ParsedURL url;
  if (!ParseURL(targetURL_, url)) throw EROException("Invalid URL format");
  // When the step that failed began: some WinINet implementations (wine's) end a receive that
  // ran into its time-out as an aborted connection rather than a time-out.
  auto stepStart = std::chrono::steady_clock::now();
  const auto fail = [this, &stepStart](const char* step) -> EROTransportError {
    const DWORD error = ::GetLastError();
    const bool silentTooLong = timeout_ > 0 && std::chrono::steady_clock::now() - stepStart >=
                                                   std::chrono::milliseconds(timeout_);
    if (error == ERROR_INTERNET_TIMEOUT ||
        (error == ERROR_INTERNET_CONNECTION_ABORTED && silentTooLong)) {
      return EROTransportError("The service at " + targetURL_ + " did not answer within " +
                               std::to_string(timeout_) + " ms");
    }
    return EROTransportError("Cannot reach the service at " + targetURL_ + ": " + step + ": " +
                             ErrorText(error));
  };

  // Go online first, as a dial-up workstation needs; a refusal fails the call.
  if (const DWORD online = ::InternetAttemptConnect(0); online != ERROR_SUCCESS) {
    throw EROTransportError("Cannot reach the service at " + targetURL_ +
                            ": the workstation cannot go online: " + ErrorText(online));
  }
  UniqueInternet internet(::InternetOpenW(Widen(userAgent_).c_str(), INTERNET_OPEN_TYPE_PRECONFIG,
                                          nullptr, nullptr, 0));
  if (!internet) throw fail("cannot open the internet handle");
  // The time-out bounds each send and each receive, so it limits silence, not a long answer
  // that keeps arriving; 0 waits without limit.
  const DWORD silence = timeout_ > 0 ? static_cast<DWORD>(timeout_) : 0xFFFFFFFF;
  const int connectLimit = timeout_ > 0 ? std::min(timeout_, connectTimeout_) : connectTimeout_;
  SetTimeoutOption(internet.get(), INTERNET_OPTION_SEND_TIMEOUT, silence);
  SetTimeoutOption(internet.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, silence);
  SetTimeoutOption(internet.get(), INTERNET_OPTION_DATA_SEND_TIMEOUT, silence);
  SetTimeoutOption(internet.get(), INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, silence);
  if (connectLimit > 0) {
    SetTimeoutOption(internet.get(), INTERNET_OPTION_CONNECT_TIMEOUT,
                     static_cast<DWORD>(connectLimit));
  }

  UniqueInternet connection(::InternetConnectW(internet.get(), url.host.c_str(), url.port, nullptr,
                                               nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection) throw fail("cannot open the connection");

  // Each call stands alone (no cache, no cookies, no kept connection); a redirect is an answer,
  // not something to follow with the request; no dialog ever appears.
  DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_AUTO_REDIRECT;
  if (url.secure) flags |= INTERNET_FLAG_SECURE;
  const wchar_t* accept[] = {L"*/*", nullptr};
  UniqueInternet httpRequest(::HttpOpenRequestW(connection.get(), L"POST", url.object.c_str(),
                                                nullptr, nullptr, accept, flags, 0));
  if (!httpRequest) throw fail("cannot open the request");
  // Set on the request too: not every WinINet passes the session's values down to it.
  SetTimeoutOption(httpRequest.get(), INTERNET_OPTION_SEND_TIMEOUT, silence);
  SetTimeoutOption(httpRequest.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, silence);

  static constexpr wchar_t kHeaders[] = L"Content-Type: application/octet-stream\r\n";
  stepStart = std::chrono::steady_clock::now();
  if (!::HttpSendRequestW(httpRequest.get(), kHeaders, static_cast<DWORD>(wcslen(kHeaders)),
                          const_cast<std::uint8_t*>(request.data()),
                          static_cast<DWORD>(request.size()))) {
    throw fail("the request was not delivered");
  }

  DWORD status = 0;
  DWORD statusSize = sizeof status;
  if (!::HttpQueryInfoW(httpRequest.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                        &statusSize, nullptr)) {
    throw fail("the answer has no status");
  }

  std::vector<std::uint8_t> body;
  DWORD announced = 0;
  DWORD announcedSize = sizeof announced;
  if (::HttpQueryInfoW(httpRequest.get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER,
                       &announced, &announcedSize, nullptr) &&
      announced <= maxResponseSize_) {
    body.reserve(announced);
  }
  std::uint8_t buffer[65536];
  for (;;) {
    DWORD got = 0;
    stepStart = std::chrono::steady_clock::now();
    if (!::InternetReadFile(httpRequest.get(), buffer, sizeof buffer, &got)) {
      throw fail("the answer broke off");
    }
    if (got == 0) break;
    if (got > maxResponseSize_ - std::min(maxResponseSize_, body.size())) {
      throw EROTransportError("The answer of " + targetURL_ + " is larger than the " +
                              std::to_string(maxResponseSize_) + " bytes this client accepts");
    }
    body.insert(body.end(), buffer, buffer + got);
  }
  if (!IsMessageBody(body) && (status < 200 || status > 299))
    throw EROTransportError("The service at " + targetURL_ + " answered with HTTP status " +
                            std::to_string(status));
  return body;
}
